// One entry of an archive, as its central directory record describes it: the one type that
// the reader fills and the rest of the library reads.
#pragma once

#include <cstdint>
#include <string>

namespace nocunzip::unzip32 {

enum class Encryption {
  kNone,
  kTraditional,  // the format's own stream cipher
  kAes,          // WinZip AES; aes_key_bits and aes_version say which
  kUnsupported,  // strong encryption or an AES field that cannot be read
};

struct Entry {
  uint64_t index = 0;          // position in the central directory, from 0
  std::string name;            // decoded to UTF-8, as stored otherwise ("/" or "\" between parts)
  uint8_t made_by_system = 0;  // high byte of "version made by": 0 MS-DOS, 3 Unix, ...
  uint16_t flags = 0;          // general purpose flags (zip_format.h)
  // The compression method of the data; for AES entries the one their AES field names.
  uint16_t method = 0;
  uint16_t recorded_method = 0;  // the method field as the record stores it: 99 for AES
  Encryption encryption = Encryption::kNone;
  uint16_t aes_key_bits = 0;  // 128, 192 or 256
  uint16_t aes_version = 0;   // 1 (AE-1, with CRC) or 2 (AE-2, without)
  uint32_t crc = 0;
  bool crc_known = true;         // false for AE-2 entries, which authenticate instead
  uint64_t compressed_size = 0;  // as stored, encryption header and trailer included
  uint64_t uncompressed_size = 0;
  uint64_t local_offset = 0;  // of the local header in the file, the archive's prefix applied
  uint16_t dos_time = 0;      // as stored: its high byte checks traditional passwords
  uint16_t dos_date = 0;
  int64_t mtime = 0;  // seconds since 1970 (UTC): the extended timestamp, else the DOS time
  uint16_t internal_attributes = 0;  // bit 0: text
  uint32_t external_attributes = 0;
  // The name ends in "/" or "\" or its last component is ".", or a directory attribute is set.
  bool is_directory = false;
  bool is_link = false;     // a Unix symbolic link
  bool is_special = false;  // a Unix device or socket, or a file type of no meaning
  // Flagged as UTF-8 (bit 11) but not valid UTF-8: `name` shows the bad bytes as U+FFFD,
  // and every reader spells it in a way of its own.
  bool name_not_utf8 = false;
  bool is_text = false;  // marked as text
  bool has_unix_mode = false;
  uint32_t unix_mode = 0;  // permission bits (07777) when has_unix_mode
};

}  // namespace nocunzip::unzip32
