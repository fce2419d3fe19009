// The end records and their choice: where an archive's central directory is. The end
// record, searched backwards over the archive comment and any junk after it; the zip64
// records where the classic fields say so; and the prefix of self-extracting or padded
// archives, which every offset that the archive records must be shifted by (ApplyShift).
//
// Readers differ in which end record they take: the last one in the file (Python's
// zipfile), the last one that leads to a directory (bsdtar, 7-Zip), one whose comment
// reaches the end of the file; and in where they look for the directory: at its recorded
// offset, or right before the end records. Every such reading that leads to a directory is
// followed; when two of them list different entries, the archive is refused (kAmbiguous).
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
  kAmbiguous,  // end records that readers would follow to different entries
};

struct ArchiveEnd {
  EndProblem problem = EndProblem::kNone;
  std::string message;            // what is wrong, for a person
  uint64_t entry_count = 0;       // as the end records say
  uint64_t directory_offset = 0;  // in the file, the shift applied
  uint64_t directory_size = 0;
  // What to add to the offsets that the archive records to find their place in the file:
  // the size of what was put in front of the archive, or less when some of it was taken away.
  int64_t shift = 0;
  std::string comment;  // as stored
  bool zip64 = false;   // the zip64 end record gives the count, size and offset
};

// Finds the end records of the archive in `reader` and the one reading of them, or the
// problem that stops it.
ArchiveEnd FindArchiveEnd(ByteReader& reader);

// The message of an archive refused because readers read it in more than one way (kAmbiguous
// here, in the first pass and wherever else a second reading turns up): `reason` after the
// words that say so, which are the same for every such refusal.
std::string ReadsInMoreThanOneWay(const std::string& reason);

// `offset` moved by `shift` into `shifted`; false when that leaves the range of offsets: the
// shift and the offset both come from the file, so their sum may overflow.
bool ApplyShift(uint64_t offset, int64_t shift, uint64_t* shifted);

}  // namespace nocunzip::unzip32
