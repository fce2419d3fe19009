// Compares an entry's local header with its central record. A reader that streams through
// the archive knows only the local header; one that reads the directory knows only the
// central record. Where the two say different things (another name, method, encryption,
// CRC or size), the two readers show different contents, so the archive has no one reading.
#pragma once

#include <string>
#include <string_view>

#include "read/entry.h"
#include "read/local_record.h"

namespace nocunzip::unzip32 {

// Whether `local` says what the central record of `entry` (whose extra fields are
// `central_extra`) says: the name after decoding, the method, the encryption flags, the
// Unicode path and AES fields where both carry them, the CRC and both sizes (those of the
// zip64 field where the local header sends a reader there), or zeros where flag bit 3 puts
// them in a data descriptor. Else `difference` says how they differ, for a person.
bool LocalAgrees(const Entry& entry, std::string_view central_extra, const LocalRecord& local,
                 std::string* difference);

}  // namespace nocunzip::unzip32
