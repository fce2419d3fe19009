// The first pass over an archive, before anything is extracted: every central directory
// record is read and shown to a visitor, and every entry is read as the other kinds of
// reader read it (local header, data descriptor, the bytes between entries, names that
// stand for one path), so that an archive that is damaged, hostile, or that readers would
// read in different ways is refused as a whole before the first file is written.
//
// The walks of the central directory. The directory is read one record at a time
// (CentralDirectory) and walked again rather than held, so that memory stays flat whatever
// the number of entries; each walk keeps only what the next one needs:
//  1. Same entries (end_records.cpp, SameEntries): only where the end records lead to two
//     directories, both walked side by side, to tell whether they list the same entries.
//  2. The scan (here, ScanArchive): every record once, laid out, followed as a streaming
//     reader follows it and held against the entry before it; keeps 16 bytes of hash for
//     each name (and for each other path of a name with ".."), and the caller's visitor keeps
//     one bit an entry (selected or not).
//  3. The unordered check (here): only where the entries do not come in file order, as the
//     scan then knows only the last entry's range: every range at once, sorted, then the
//     overlaps and the bytes between them.
//  4. The names of two entries (here): only to name them in the message of an overlap or a
//     gap that the scan or the unordered check found by index.
//  5. The name collisions (here): only where two hashes of the scan meet: the full paths of
//     those entries alone, compared exactly.
//  6. The plan (plan/planner.cpp): the extraction itself, entry by entry in directory order on
//     the calling thread, for the entries that the scan's visitor selected.
//  7. The listing (report/listing.cpp): instead of the plan, when the caller asks for a list.
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
