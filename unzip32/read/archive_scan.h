// The first pass over an archive, before anything is extracted: every central directory
// record is read and shown to a visitor, and every entry is read as the other kinds of
// reader read it (local header, data descriptor, the bytes between entries, names that
// stand for one path), so that an archive that is damaged, hostile, or that readers would
// read in different ways is refused as a whole before the first file is written.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "read/archive_file.h"
#include "read/end_records.h"
#include "read/entry.h"

namespace nocunzip::unzip32 {

// Two entries whose paths differ only in case, on a system whose file systems ignore case.
struct CaseTwin {
  uint64_t index = 0;        // the later entry
  std::string earlier_name;  // the name of the earlier one
};

struct ScanResult {
  enum Problem {
    kNone,
    kDamaged,    // records that cannot be read
    kOverlap,    // entries that share bytes
    kAmbiguous,  // readers would see different entries: refused whole
  };
  Problem problem = kNone;
  std::string message;  // what is wrong, for a person
  // Pairs of entries whose paths differ only in case, where file systems ignore case
  // (Windows): the later entry's index and the earlier entry's name.
  std::vector<CaseTwin> case_twins;
  bool ok() const { return problem == kNone; }
};

// Reads the entries of the archive that `end` describes, calling `visit` once for each, in
// directory order (also for those before a problem that ends the scan).
ScanResult ScanArchive(ByteReader& reader, const ArchiveEnd& end,
                       const std::function<void(const Entry&)>& visit);

}  // namespace nocunzip::unzip32
