// One selected entry on its way through the pipeline: what the plan decided for it, taken
// to the workers and then, in entry order, to the commit.
#pragma once

#include <cstdint>
#include <string>

#include "disk/output.h"
#include "read/entry.h"
#include "read/entry_layout.h"

namespace nocunzip::unzip32 {

struct PlannedEntry {
  enum Action {
    kNothing,        // described to the caller, nothing more (names the target itself)
    kWarn,           // skipped for a reason found while planning: a warning
    kFail,           // failed for a reason found while planning: an error
    kMakeDirectory,  // a directory entry kept as such
    kWriteFile,      // decoded into a file under `path`
    kTest,           // decoded and checked, nothing written
    kPrint,          // decoded to the print callback, on the calling thread
  };
  Action action = kNothing;
  Entry entry;
  EntryData data;     // where its data lie
  RelativePath path;  // where it goes below the target, when it writes
  int32_t code = 0;   // with kWarn and kFail: the result code
  std::string why;    // with kWarn and kFail: the reason, for a person
  // Whether another entry of the run may land on `path` or on a directory on its way (see
  // TargetNames): then the file's identity is kept for the replace rules.
  bool shares_name = true;
  // Whether a worker may give the file its name as soon as it is done, when the name is
  // free: no other entry lands on it, and the options write every free name (see
  // WritesEveryFreeName).
  bool named_ahead = false;

  // Whether a worker decodes it ahead of its turn.
  bool DecodedAhead() const { return action == kWriteFile || action == kTest; }
};

}  // namespace nocunzip::unzip32
