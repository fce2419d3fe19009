// Compares two readings of one archive's central directory (found through different end
// records, or at different offsets) entry by entry, in lockstep, so that memory stays the
// same whatever the number of entries.
#pragma once

#include <string>

#include "read/byte_reader.h"
#include "read/end_records.h"

namespace nocunzip::unzip32 {

// Whether the directories of `a` and `b` list the same entries: names, where their data lie,
// method, sizes, CRC, flags and attributes. Else `difference` names the first entry where
// they part, for a person. A directory that cannot be read to its end counts as different.
bool SameEntries(ByteReader& reader, const ArchiveEnd& a, const ArchiveEnd& b,
                 std::string* difference);

}  // namespace nocunzip::unzip32
