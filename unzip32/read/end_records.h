// Finds where an archive's central directory is: the end record, searched backwards over
// the archive comment and any junk after it; the zip64 records where the classic fields say
// so; and the prefix of self-extracting or padded archives, which every offset that the
// archive records must be shifted by.
#pragma once

#include <cstdint>
#include <string>

#include "read/byte_reader.h"

namespace nocunzip::unzip32 {

enum class EndProblem {
  kNone,
  kEmptyFile,  // zero bytes
  kNotZip,     // no end of central directory record
  kDamaged,    // records that do not fit the file or each other
  kSplit,      // one part of an archive split over several files
  kEncrypted,  // the central directory itself is encrypted
};

struct ArchiveEnd {
  EndProblem problem = EndProblem::kNone;
  std::string message;  // what is wrong, for a person
  uint64_t entry_count =
      0;  // as the end record says: a hint only, the directory is read to its end
  uint64_t directory_offset = 0;  // in the file, the shift applied
  uint64_t directory_size = 0;
  // What to add to the offsets that the archive records to find their place in the file:
  // the size of what was put in front of the archive, or less when some of it was taken away.
  int64_t shift = 0;
  std::string comment;  // as stored
};

ArchiveEnd FindArchiveEnd(ByteReader& reader);

}  // namespace nocunzip::unzip32
