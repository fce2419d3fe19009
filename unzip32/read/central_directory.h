// Reads the central directory one entry at a time, so that memory stays the same whatever
// the number of entries. Each record is checked against the directory's bounds and turned
// into an Entry: name decoded, zip64 sizes and offset applied, the archive's shift applied
// to the offset, AES, time and attribute fields read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "read/archive_file.h"
#include "read/end_records.h"
#include "read/entry.h"
#include "read/local_time.h"

namespace nocunzip::unzip32 {

class CentralDirectory {
 public:
  // `reader` and `end` (an end without problems) must outlive this object.
  CentralDirectory(ByteReader& reader, const ArchiveEnd& end);

  // kAmbiguous: the records can be read in more than one way (an end record inside the
  // directory, several Unicode path fields), so that readers see different entries.
  enum class Step { kEntry, kEnd, kDamaged, kAmbiguous };
  // The next entry into `entry`; kEnd after the last one; kDamaged or kAmbiguous, with the
  // reason in `problem`, when the record cannot be read one way (reading stops there).
  Step Next(Entry* entry, std::string* problem);
  // The extra fields of the entry that Next gave last.
  std::string_view extra() const { return extra_; }

 private:
  Step Damaged(std::string* problem, std::string text);
  Step Ambiguous(std::string* problem, std::string text);
  // kEnd where the directory ends, a problem where what follows is no central record.
  std::optional<Step> CheckEnd(std::string* problem);

  WindowedReader window_;
  const ArchiveEnd& end_;
  uint64_t next_index_ = 0;
  bool done_ = false;
  uint64_t position_ = 0;  // of the next record in the file
  std::string raw_name_;   // reused from record to record
  std::string extra_;
  DosTimeConverter times_;
};

}  // namespace nocunzip::unzip32
