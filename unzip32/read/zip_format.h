// The ZIP format's numbers: record signatures and sizes, flag bits, method and extra-field
// ids and the methods' names, and the little-endian reads and writes of its records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace nocunzip::unzip32 {

// The little-endian numbers of ZIP records: read from bytes, or appended to a std::string or
// std::vector<unsigned char>.
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

namespace zip {

// Record signatures.
inline constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
inline constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
inline constexpr uint32_t kEndSignature = 0x06054b50;
inline constexpr uint32_t kZip64EndSignature = 0x06064b50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
inline constexpr uint32_t kDataDescriptorSignature = 0x08074b50;

// Fixed parts of the records, before their variable fields.
inline constexpr size_t kLocalHeaderSize = 30;
inline constexpr size_t kCentralHeaderSize = 46;
inline constexpr size_t kEndSize = 22;
inline constexpr size_t kZip64LocatorSize = 20;
inline constexpr size_t kZip64EndSize = 56;
inline constexpr size_t kMaxCommentSize = 0xFFFF;

// General purpose flags.
inline constexpr uint16_t kFlagEncrypted = 1u << 0;
inline constexpr uint16_t kFlagLzmaEndMarker = 1u << 1;   // LZMA data ends with a marker
inline constexpr uint16_t kFlagDataDescriptor = 1u << 3;  // sizes and CRC follow the data
inline constexpr uint16_t kFlagStrongEncryption = 1u << 6;
inline constexpr uint16_t kFlagUtf8 = 1u << 11;
inline constexpr uint16_t kFlagMaskedDirectory = 1u << 13;  // central directory encrypted

// Compression methods.
inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodShrunk = 1;
inline constexpr uint16_t kMethodImploded = 6;
inline constexpr uint16_t kMethodDeflate = 8;
inline constexpr uint16_t kMethodDeflate64 = 9;
inline constexpr uint16_t kMethodBzip2 = 12;
inline constexpr uint16_t kMethodLzma = 14;
inline constexpr uint16_t kMethodZstd = 93;
inline constexpr uint16_t kMethodXz = 95;
inline constexpr uint16_t kMethodJpeg = 96;
inline constexpr uint16_t kMethodWavPack = 97;
inline constexpr uint16_t kMethodPpmd = 98;
inline constexpr uint16_t kMethodAes = 99;  // WinZip AES: the real method is in the 0x9901 field

// Extra-field ids.
inline constexpr uint16_t kExtraZip64 = 0x0001;
inline constexpr uint16_t kExtraNtfs = 0x000a;
inline constexpr uint16_t kExtraExtendedTimestamp = 0x5455;
inline constexpr uint16_t kExtraUnicodePath = 0x7075;
inline constexpr uint16_t kExtraAes = 0x9901;

// Sizes and offsets that say "look in the zip64 extra field / record".
inline constexpr uint32_t kMaxed32 = 0xFFFFFFFF;
inline constexpr uint16_t kMaxed16 = 0xFFFF;

// The "version made by" systems whose external attributes carry Unix modes.
inline constexpr uint8_t kSystemMsDos = 0;
inline constexpr uint8_t kSystemUnix = 3;
inline constexpr uint8_t kSystemNtfs = 10;
inline constexpr uint8_t kSystemDarwin = 19;

// External attributes.
inline constexpr uint32_t kDosDirectoryAttribute = 0x10;
inline constexpr uint32_t kUnixFileTypeMask = 0170000;
inline constexpr uint32_t kUnixLink = 0120000;
inline constexpr uint32_t kUnixDirectory = 0040000;
inline constexpr uint32_t kUnixRegular = 0100000;
inline constexpr uint32_t kUnixFifo = 0010000;  // what zip records for data read from a pipe

// WinZip AES.
inline constexpr size_t kAesPasswordCheckSize = 2;
inline constexpr size_t kAesAuthenticationCodeSize = 10;
// Traditional encryption.
inline constexpr size_t kTraditionalHeaderSize = 12;

}  // namespace zip

// The method's name for a person: "Stored", "Deflate", "Deflate64", "BZip2", "LZMA", "XZ",
// "Zstandard", "PPMd", ..., or "method N".
std::string MethodName(uint16_t method);

}  // namespace nocunzip::unzip32
