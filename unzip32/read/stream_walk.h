// What a reader that streams through the archive from the front would see between the
// entries that the central directory lists. It reads a local header, the data, the data
// descriptor, and takes whatever record signature comes next for the next record. Plain
// bytes between entries are skipped by every reader; a record signature there (an entry the
// directory does not list, a directory or end record where a streaming reader stops) makes
// it see other entries than a reader of the directory.
#pragma once

#include <cstdint>
#include <string>

#include "read/archive_file.h"

namespace nocunzip::unzip32 {

// The first record signature in the bytes [begin, end), if any: its offset in `where`, and
// what a streaming reader makes of it in `meaning`.
bool FindRecordSignature(WindowedReader& reader, uint64_t begin, uint64_t end, uint64_t* where,
                         std::string* meaning);

// For a stored entry whose local header leaves its size to the data descriptor, a streaming
// reader takes the first descriptor signature followed by the size read so far for the
// end of the data. Whether the data [begin, end) hold such a one before their real end.
bool FindEarlyDescriptor(WindowedReader& reader, uint64_t begin, uint64_t end, uint64_t* where);

}  // namespace nocunzip::unzip32
