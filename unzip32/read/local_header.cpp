#include "read/local_header.h"

namespace nocunzip::unzip32 {

bool ReadLocalHeaderFixedPart(WindowedReader& reader, uint64_t offset, uint64_t limit,
                              const std::string& name,
                              unsigned char (&header)[zip::kLocalHeaderSize],
                              std::string* problem) {
  if (offset >= limit || limit - offset < sizeof header ||
      !reader.Read(offset, header, sizeof header) || Get32(header) != zip::kLocalHeaderSignature) {
    *problem = "entry " + name + " has no local header where the directory says";
    return false;
  }
  return true;
}

bool PlaceEntryData(const Entry& entry, uint64_t data_offset, uint64_t limit, EntryData* data,
                    std::string* problem) {
  if (data_offset > limit || limit - data_offset < entry.compressed_size) {
    *problem = "the data of entry " + entry.name +
               " runs past the end of the archive's data: its declared size is wrong or the "
               "archive is damaged";
    return false;
  }
  data->offset = data_offset;
  data->end = data_offset + entry.compressed_size;
  return true;
}

bool FindEntryData(WindowedReader& reader, const Entry& entry, uint64_t limit, EntryData* data,
                   std::string* problem) {
  unsigned char local[zip::kLocalHeaderSize];
  if (!ReadLocalHeaderFixedPart(reader, entry.local_offset, limit, entry.name, local, problem)) {
    return false;
  }
  const uint64_t header_size =
      zip::kLocalHeaderSize + uint64_t{Get16(local + 26)} + Get16(local + 28);
  return PlaceEntryData(entry, entry.local_offset + header_size, limit, data, problem);
}

}  // namespace nocunzip::unzip32
