// The format's traditional stream cipher.
//
// Three 32-bit keys start as 0x12345678, 0x23456789 and 0x34567890 and take in every byte of
// the password, then every decrypted byte: the first is a CRC-32 over those bytes, the second
// a linear congruential generator fed by the first, the third a CRC-32 over the second's top
// byte. Each data byte is XORed with a byte derived from the third key. The 12-byte header
// before the data is random, but its last byte decrypts to a known check byte, which sorts
// out all but about one in 256 wrong passwords.
#include <algorithm>
#include <array>

#include "decrypt/cipher.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

// The reflected CRC-32 (polynomial 0xEDB88320) one byte at a time, by table.
constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

inline uint32_t CrcStep(uint32_t crc, uint8_t byte) {
  return kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

struct Keys {
  uint32_t k0 = 0x12345678;
  uint32_t k1 = 0x23456789;
  uint32_t k2 = 0x34567890;

  void Update(uint8_t byte) {
    k0 = CrcStep(k0, byte);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = CrcStep(k2, static_cast<uint8_t>(k1 >> 24));
  }
  uint8_t StreamByte() const {
    const uint32_t t = (k2 | 2) & 0xFFFF;
    return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
  }
  // Decrypts in place; the keys live in registers for the length of the loop.
  void Decrypt(std::span<unsigned char> data) {
    Keys keys = *this;
    for (unsigned char& byte : data) {
      byte ^= keys.StreamByte();
      keys.Update(byte);
    }
    *this = keys;
  }
};

class TraditionalCipher final : public Cipher {
 public:
  explicit TraditionalCipher(uint8_t check_byte) : check_byte_(check_byte) {}

  size_t header_size() const override { return zip::kTraditionalHeaderSize; }

  bool Start(std::string_view password, std::span<const unsigned char> header) override {
    started_ = false;
    if (header.size() != zip::kTraditionalHeaderSize) return false;
    keys_ = Keys();
    for (char c : password) keys_.Update(static_cast<uint8_t>(c));
    std::array<unsigned char, zip::kTraditionalHeaderSize> decrypted;
    std::copy(header.begin(), header.end(), decrypted.begin());
    keys_.Decrypt(decrypted);
    started_ = decrypted.back() == check_byte_;
    return started_;
  }

  void Decrypt(std::span<unsigned char> data) override {
    if (started_) keys_.Decrypt(data);
  }

  // Nothing to check: the entry's CRC does that.
  bool Finish(std::span<const unsigned char> /*trailer*/) override { return started_; }

 private:
  uint8_t check_byte_;
  Keys keys_;
  bool started_ = false;
};

}  // namespace

std::unique_ptr<Cipher> MakeTraditionalCipher(uint8_t check_byte) {
  return std::make_unique<TraditionalCipher>(check_byte);
}

}  // namespace nocunzip::unzip32
