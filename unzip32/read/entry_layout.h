// Where one entry lies in the archive and whether its local header and data descriptor
// agree with its central record.
//
// The central directory is authoritative for everything but where the data begin: the local
// header's own name and extra field may differ in length (alignment padding, other fields),
// so a reader of the directory takes only its signature and the length of its variable part
// (FindEntryData). The first pass reads the entry as both kinds of reader read it (LayOutEntry):
// its whole local header, its data, and the data descriptor after them, each checked against
// the central record, so that a reader of the directory and a reader that streams from the
// front see the same entry in the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "read/archive_file.h"
#include "read/entry.h"

namespace nocunzip::unzip32 {

struct EntryData {
  uint64_t offset = 0;  // of the first byte after the local header
  uint64_t end = 0;     // one past the last byte of the entry's data
};

// Finds the data of `entry`, which must end before `limit` (where the central directory
// begins). False, with the reason in `problem`, when there is no local header where the
// directory says or the data would run past `limit`.
bool FindEntryData(WindowedReader& reader, const Entry& entry, uint64_t limit, EntryData* data,
                   std::string* problem);

// The whole local header in front of an entry's data, as a reader that streams through the
// archive from the front sees it: its own name, flags, method, CRC, sizes and extra fields.
struct LocalRecord {
  uint16_t flags = 0;
  uint16_t method = 0;  // as stored: 99 for WinZip AES
  uint32_t crc = 0;
  uint32_t compressed_size = 0;  // as stored: 0xFFFFFFFF sends a reader to the zip64 field
  uint32_t uncompressed_size = 0;
  std::string raw_name;
  std::string extra;
  uint64_t data_offset = 0;  // the first byte after the header
};

// Reads the local header at `offset`, which must end before `limit`. False, with the reason
// in `problem`, when there is none (`name` names the entry in the message). `record` is
// reused from call to call.
bool ReadLocalRecord(WindowedReader& reader, uint64_t offset, uint64_t limit,
                     const std::string& name, LocalRecord* record, std::string* problem);

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
