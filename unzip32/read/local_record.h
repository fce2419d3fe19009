// The whole local header in front of an entry's data, as a reader that streams through the
// archive from the front sees it: its own name, flags, method, CRC, sizes and extra fields.
#pragma once

#include <cstdint>
#include <string>

#include "read/archive_file.h"

namespace nocunzip::unzip32 {

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

}  // namespace nocunzip::unzip32
