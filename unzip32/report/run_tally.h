// What a run did, counted entry by entry, and the summary line that says it.
#pragma once

#include <cstdint>
#include <string>

#include "report/report.h"

namespace nocunzip::unzip32 {

struct RunTally {
  uint64_t files = 0;  // extracted, tested or printed
  uint64_t directories = 0;
  uint64_t skipped = 0;
  uint64_t failed = 0;
};

// "ARCHIVE: 3 files extracted, 1 directory created, 1 skipped", at message level 1 and up.
void PrintSummary(Reporter& reporter, const std::string& archive, bool test, const RunTally& tally,
                  int32_t code);

}  // namespace nocunzip::unzip32
