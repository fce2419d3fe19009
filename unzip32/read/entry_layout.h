// Where one entry lies in the archive, read as both kinds of reader read it: its local
// header, its data, and the data descriptor after them, each checked against the central
// record, so that a reader of the directory and a reader that streams from the front see
// the same entry in the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "read/archive_file.h"
#include "read/entry.h"
#include "read/local_record.h"

namespace nocunzip::unzip32 {

struct EntryLayout {
  uint64_t begin = 0;        // the local header
  uint64_t data_offset = 0;  // the data
  uint64_t data_end = 0;
  uint64_t end = 0;  // one past the data descriptor, or the data where there is none
};

enum class LayoutProblem {
  kNone,
  kDamaged,    // no local header, or data past `limit`
  kAmbiguous,  // the local header or descriptor says other things than the central record
};

// Lays out `entry` (whose central extra fields are `central_extra`), which must end before
// `limit`, where the central directory begins. `local` is scratch space, reused from call
// to call. On a problem, `problem` says what it is, for a person; with kAmbiguous `layout`
// still holds where the header and the data lie.
LayoutProblem LayOutEntry(WindowedReader& reader, const Entry& entry,
                          std::string_view central_extra, uint64_t limit, LocalRecord* local,
                          EntryLayout* layout, std::string* problem);

}  // namespace nocunzip::unzip32
