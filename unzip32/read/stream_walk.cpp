#include "read/stream_walk.h"

#include <algorithm>

#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

using namespace zip;

constexpr size_t kChunk = 16 * 1024;
constexpr size_t kOverlap = 3;  // a signature may straddle two chunks

const char* Meaning(uint32_t signature) {
  switch (signature) {
    case kLocalHeaderSignature:
      return "a local header, where a reader that streams through the archive finds an entry "
             "that the central directory does not list";
    case kCentralHeaderSignature:
      return "a central directory record, where a reader that streams through the archive "
             "stops";
    case kEndSignature:
    case kZip64EndSignature:
    case kZip64LocatorSignature:
      return "an end record, where a reader that streams through the archive stops";
    case kDataDescriptorSignature:
      return "a data descriptor, which a reader that streams through the archive takes for "
             "the end of the entry before";
  }
  return nullptr;
}

// Calls `visit(offset, bytes)` for each 4-byte window of [begin, end) that starts "PK", chunk
// by chunk; stops when `visit` returns true, and returns true then.
template <typename Visit>
bool ForEachPk(WindowedReader& reader, uint64_t begin, uint64_t end, Visit visit) {
  unsigned char chunk[kChunk];
  for (uint64_t at = begin; at + 4 <= end;) {
    const size_t length = static_cast<size_t>(std::min<uint64_t>(end - at, kChunk));
    if (!reader.Read(at, chunk, length)) return false;
    for (size_t i = 0; i + 4 <= length; ++i) {
      if (chunk[i] == 'P' && chunk[i + 1] == 'K' && visit(at + i, chunk + i, length - i)) {
        return true;
      }
    }
    if (length < kChunk) break;
    at += length - kOverlap;
  }
  return false;
}

}  // namespace

bool FindRecordSignature(WindowedReader& reader, uint64_t begin, uint64_t end, uint64_t* where,
                         std::string* meaning) {
  return ForEachPk(reader, begin, end, [&](uint64_t at, const unsigned char* p, size_t) {
    const char* text = Meaning(Get32(p));
    if (text == nullptr) return false;
    *where = at;
    *meaning = text;
    return true;
  });
}

bool FindEarlyDescriptor(WindowedReader& reader, uint64_t begin, uint64_t end, uint64_t* where) {
  return ForEachPk(reader, begin, end, [&](uint64_t at, const unsigned char* p, size_t) {
    if (Get32(p) != kDataDescriptorSignature) return false;
    // The compressed size follows the signature and the CRC, in 32 or 64 bits.
    unsigned char sizes[8];
    if (!reader.Read(at + 8, sizes, sizeof sizes)) return false;
    const uint64_t read_so_far = at - begin;
    if (Get32(sizes) != read_so_far && Get64(sizes) != read_so_far) return false;
    *where = at;
    return true;
  });
}

}  // namespace nocunzip::unzip32
