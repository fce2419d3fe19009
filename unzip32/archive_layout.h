// Checks where the entries of an archive lie, before anything is extracted.
//
// libzip trusts the central directory: it neither notices entries whose data overlap (the
// "overlapped files" kind of ZIP bomb, where thousands of names share one compressed
// stream) nor says where an entry's data lies. So this reads the end records and the
// central directory itself, with every length checked against the file, then the local
// header of each entry, and requires that, sorted by offset, each entry's header and data
// end where the next entry (or the central directory) begins at the latest.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive_source.h"

namespace nocunzip::unzip32 {

// What the central directory says about one entry that libzip does not tell.
struct CentralEntry {
  uint64_t local_offset = 0;
  uint64_t compressed_size = 0;
  uint64_t uncompressed_size = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t internal_attributes = 0;  // bit 0: the entry is text
  uint8_t made_by_system = 0;        // high byte of "version made by": 3 = Unix
  uint32_t external_attributes = 0;
  uint32_t crc = 0;
  uint64_t data_offset = 0;  // first byte after the local header, set by the check
};

enum class LayoutProblem {
  kNone,
  kEmptyFile,  // zero bytes
  kNotZip,     // no end of central directory record
  kDamaged,    // records that do not fit the file or each other
  kOverlap,    // two entries share bytes
};

// libzip is shown the central directory this many entries at a time (see directory_slices.h).
inline constexpr uint64_t kEntriesPerSlice = 2048;

struct ArchiveLayout {
  LayoutProblem problem = LayoutProblem::kNone;
  std::string message;                // what is wrong, for a person
  std::vector<CentralEntry> entries;  // in central directory order, as libzip indexes them
  // Where the central directory records of entries 0, kEntriesPerSlice, 2 * kEntriesPerSlice,
  // ... begin, and last where the directory ends.
  std::vector<uint64_t> slice_offsets;
  std::string comment;
};

ArchiveLayout CheckArchiveLayout(ByteReader& reader);

}  // namespace nocunzip::unzip32
