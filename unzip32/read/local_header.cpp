#include "read/local_header.h"

#include "read/zip_format.h"

namespace nocunzip::unzip32 {

bool FindEntryData(WindowedReader& reader, const Entry& entry, uint64_t limit, EntryData* data,
                   std::string* problem) {
  unsigned char local[zip::kLocalHeaderSize];
  if (entry.local_offset >= limit || limit - entry.local_offset < sizeof local ||
      !reader.Read(entry.local_offset, local, sizeof local) ||
      Get32(local) != zip::kLocalHeaderSignature) {
    *problem = "entry " + entry.name + " has no local header where the directory says";
    return false;
  }
  const uint64_t header_size =
      zip::kLocalHeaderSize + uint64_t{Get16(local + 26)} + Get16(local + 28);
  data->offset = entry.local_offset + header_size;
  if (data->offset > limit || limit - data->offset < entry.compressed_size) {
    *problem = "the data of entry " + entry.name +
               " runs past the end of the archive's data: its declared size is wrong or the "
               "archive is damaged";
    return false;
  }
  data->end = data->offset + entry.compressed_size;
  return true;
}

}  // namespace nocunzip::unzip32
