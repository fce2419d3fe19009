#include "read/data_descriptor.h"

#include <algorithm>
#include <cstdio>

#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

constexpr size_t kLongest = 24;  // signature, CRC, two 64-bit sizes

struct Form {
  bool signature;
  bool wide;  // 64-bit sizes
  size_t length() const { return (signature ? 4 : 0) + 4 + (wide ? 16 : 8); }
};
constexpr Form kForms[] = {{true, false}, {true, true}, {false, false}, {false, true}};

struct Values {
  uint32_t crc = 0;
  uint64_t compressed = 0;
  uint64_t uncompressed = 0;
};

Values Read(const unsigned char* bytes, const Form& form) {
  const unsigned char* p = bytes + (form.signature ? 4 : 0);
  Values values;
  values.crc = Get32(p);
  values.compressed = form.wide ? Get64(p + 4) : Get32(p + 4);
  values.uncompressed = form.wide ? Get64(p + 12) : Get32(p + 8);
  return values;
}

// The bytes at `at`, as many as there are up to `limit` (at most kLongest).
size_t Load(WindowedReader& reader, uint64_t at, uint64_t limit, unsigned char* bytes) {
  if (at >= limit) return 0;
  const size_t available = static_cast<size_t>(std::min<uint64_t>(limit - at, kLongest));
  return reader.Read(at, bytes, available) ? available : 0;
}

}  // namespace

bool FindDataDescriptor(WindowedReader& reader, uint64_t at, uint64_t limit, const Entry& entry,
                        size_t* length) {
  unsigned char bytes[kLongest];
  const size_t available = Load(reader, at, limit, bytes);
  const bool signed_form = available >= 4 && Get32(bytes) == zip::kDataDescriptorSignature;
  for (const Form& form : kForms) {
    if (form.signature != signed_form || form.length() > available) continue;
    const Values values = Read(bytes, form);
    if (values.crc == entry.crc && values.compressed == entry.compressed_size &&
        values.uncompressed == entry.uncompressed_size) {
      *length = form.length();
      return true;
    }
  }
  return false;
}

std::string DescribeDataDescriptor(WindowedReader& reader, uint64_t at, uint64_t limit) {
  unsigned char bytes[kLongest];
  const size_t available = Load(reader, at, limit, bytes);
  const Form form{available >= 4 && Get32(bytes) == zip::kDataDescriptorSignature, false};
  if (available < form.length()) return "none is there";
  const Values values = Read(bytes, form);
  char text[96];
  snprintf(text, sizeof text, "it says CRC %08x, compressed size %llu, size %llu", values.crc,
           static_cast<unsigned long long>(values.compressed),
           static_cast<unsigned long long>(values.uncompressed));
  return text;
}

}  // namespace nocunzip::unzip32
