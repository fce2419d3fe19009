// Reads the central directory one entry at a time, so that memory stays the same whatever
// the number of entries. Each record is checked against the directory's bounds and turned
// into an Entry: name decoded, zip64 sizes and offset applied, the archive's shift applied
// to the offset, AES, time and attribute fields read.
#pragma once

#include <cstdint>
#include <string>

#include "read/archive_file.h"
#include "read/end_records.h"
#include "read/entry.h"

namespace nocunzip::unzip32 {

class CentralDirectory {
 public:
  // `reader` and `end` (an end without problems) must outlive this object.
  CentralDirectory(ByteReader& reader, const ArchiveEnd& end);

  enum class Step { kEntry, kEnd, kDamaged };
  // The next entry into `entry`; kEnd after the last one; kDamaged, with the reason in
  // `problem`, when the record cannot be read (reading stops there).
  Step Next(Entry* entry, std::string* problem);

 private:
  Step Damaged(std::string* problem, std::string text);
  bool AtEnd();

  WindowedReader window_;
  const ArchiveEnd& end_;
  uint64_t next_index_ = 0;
  bool done_ = false;
  uint64_t position_ = 0;  // of the next record in the file
  std::string raw_name_;   // reused from record to record
  std::string extra_;
};

}  // namespace nocunzip::unzip32
