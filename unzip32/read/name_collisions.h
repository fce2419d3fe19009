// Finds the entries whose names stand for one path (entry_key.h): two of them make what an
// extractor writes depend on which one it takes last, so the archive has no one reading.
// On Windows, names that differ only in case meet in the file system but not in the
// archive: those pairs are reported instead, for the extraction's overwrite rules.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "read/byte_reader.h"
#include "read/duplicate_index.h"
#include "read/end_records.h"
#include "read/entry.h"

namespace nocunzip::unzip32 {

// Two entries whose paths differ only in case, on a system whose file systems ignore case.
struct CaseTwin {
  uint64_t index = 0;        // the later entry
  std::string earlier_name;  // the name of the earlier one
};

class NameCollisions {
 public:
  // Room for the entries that the end records count, as far as the directory can hold them.
  void Reserve(const ArchiveEnd& end);
  // Each entry of the directory, in its order (16 bytes an entry).
  void Add(const Entry& entry);
  // After the last Add: reads the directory of `end` again for the entries whose hashes
  // meet. False, with the reason in `problem`, when two entries name one path; the pairs
  // that differ only in case go to `twins`.
  bool Check(ByteReader& reader, const ArchiveEnd& end, std::vector<CaseTwin>* twins,
             std::string* problem);

 private:
  DuplicateIndex index_;
};

}  // namespace nocunzip::unzip32
