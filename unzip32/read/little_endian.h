// The little-endian numbers of ZIP records: read from bytes, or appended to a std::string or
// std::vector<unsigned char>.
#pragma once

#include <cstdint>

namespace nocunzip::unzip32 {

inline uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t Get64(const unsigned char* p) {
  return static_cast<uint64_t>(Get32(p)) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

// Appends the low `count` bytes of `value`, lowest first.
template <typename Bytes>
void PutLittleEndian(Bytes& out, uint64_t value, int count) {
  for (int i = 0; i < count; ++i) {
    out.push_back(static_cast<typename Bytes::value_type>((value >> (8 * i)) & 0xFF));
  }
}
template <typename Bytes>
void Put16(Bytes& out, uint64_t value) {
  PutLittleEndian(out, value, 2);
}
template <typename Bytes>
void Put32(Bytes& out, uint64_t value) {
  PutLittleEndian(out, value, 4);
}
template <typename Bytes>
void Put64(Bytes& out, uint64_t value) {
  PutLittleEndian(out, value, 8);
}

}  // namespace nocunzip::unzip32
