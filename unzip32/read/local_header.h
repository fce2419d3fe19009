// The local header in front of an entry's data. The central directory is authoritative for
// everything but where the data begins: the local header's own name and extra field may
// differ in length (alignment padding, other fields), so only its signature and the length
// of its variable part are read.
#pragma once

#include <cstdint>
#include <string>

#include "read/archive_file.h"
#include "read/entry.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {

struct EntryData {
  uint64_t offset = 0;  // of the first byte after the local header
  uint64_t end = 0;     // one past the last byte of the entry's data
};

// Reads the fixed part of the local header at `offset`, which must end before `limit`, into
// `header`. False, with the reason in `problem`, when there is none (`name` names the entry
// in the message).
bool ReadLocalHeaderFixedPart(WindowedReader& reader, uint64_t offset, uint64_t limit,
                              const std::string& name,
                              unsigned char (&header)[zip::kLocalHeaderSize], std::string* problem);

// Where the data of `entry` lie when they begin at `data_offset`: they must end before
// `limit`. False, with the reason in `problem`, when they would run past it.
bool PlaceEntryData(const Entry& entry, uint64_t data_offset, uint64_t limit, EntryData* data,
                    std::string* problem);

// Finds the data of `entry`, which must end before `limit` (where the central directory
// begins). False, with the reason in `problem`, when there is no local header where the
// directory says or the data would run past `limit`.
bool FindEntryData(WindowedReader& reader, const Entry& entry, uint64_t limit, EntryData* data,
                   std::string* problem);

}  // namespace nocunzip::unzip32
