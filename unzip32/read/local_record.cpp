#include "read/local_record.h"

#include "read/local_header.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {

bool ReadLocalRecord(WindowedReader& reader, uint64_t offset, uint64_t limit,
                     const std::string& name, LocalRecord* record, std::string* problem) {
  unsigned char header[zip::kLocalHeaderSize];
  if (!ReadLocalHeaderFixedPart(reader, offset, limit, name, header, problem)) return false;
  const uint16_t name_length = Get16(header + 26);
  const uint16_t extra_length = Get16(header + 28);
  record->data_offset = offset + sizeof header + name_length + extra_length;
  record->raw_name.resize(name_length);
  record->extra.resize(extra_length);
  if (record->data_offset > limit ||
      !reader.Read(offset + sizeof header, record->raw_name.data(), name_length) ||
      !reader.Read(offset + sizeof header + name_length, record->extra.data(), extra_length)) {
    *problem = "the local header of entry " + name + " runs past the end of the archive's data";
    return false;
  }
  record->flags = Get16(header + 6);
  record->method = Get16(header + 8);
  record->crc = Get32(header + 14);
  record->compressed_size = Get32(header + 18);
  record->uncompressed_size = Get32(header + 22);
  return true;
}

}  // namespace nocunzip::unzip32
