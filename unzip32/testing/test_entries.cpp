#include "testing/test_entries.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <span>
#include <vector>

#include "decrypt/aes_primitives.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32::testing {
namespace {

using Bytes = std::vector<unsigned char>;

// The format's traditional cipher, encrypting: the keys follow the plain bytes.
class TraditionalEncryptor {
 public:
  explicit TraditionalEncryptor(std::string_view password) {
    for (char c : password) Update(static_cast<unsigned char>(c));
  }
  std::string Encrypt(const std::string& plain) {
    std::string out;
    for (char c : plain) {
      const uint32_t t = (keys_[2] | 2) & 0xFFFF;
      out += static_cast<char>(static_cast<unsigned char>(c) ^ ((t * (t ^ 1)) >> 8));
      Update(static_cast<unsigned char>(c));
    }
    return out;
  }

 private:
  static uint32_t CrcByte(uint32_t crc, unsigned char byte) {
    return static_cast<uint32_t>(crc32(crc ^ 0xFFFFFFFF, &byte, 1)) ^ 0xFFFFFFFF;
  }
  void Update(unsigned char byte) {
    keys_[0] = CrcByte(keys_[0], byte);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813 + 1;
    keys_[2] = CrcByte(keys_[2], static_cast<unsigned char>(keys_[1] >> 24));
  }
  uint32_t keys_[3] = {0x12345678, 0x23456789, 0x34567890};
};

}  // namespace

std::string EncryptTraditional(const std::string& data, uint8_t check_byte,
                               std::string_view password) {
  TraditionalEncryptor encryptor(password);
  return encryptor.Encrypt(std::string("0123456789A") + static_cast<char>(check_byte) + data);
}

std::string EncryptAes(const std::string& data, uint16_t key_bits, std::string_view password) {
  auto primitives = AesPrimitives::Open();
  EXPECT_NE(primitives, nullptr);
  const size_t key = key_bits / 8;
  const Bytes salt(key / 2, 0x5A);
  Bytes derived(2 * key + 2);
  EXPECT_TRUE(primitives->Pbkdf2HmacSha1(password, salt, 1000, derived));
  const std::span<const unsigned char> keys(derived);
  auto aes = primitives->MakeBlockEncryptor(keys.first(key));
  Bytes encrypted(data.begin(), data.end());
  for (size_t at = 0; at < encrypted.size(); at += kAesBlockSize) {
    unsigned char block[kAesBlockSize] = {};
    for (size_t i = 0, n = at / kAesBlockSize + 1; i < 8; ++i, n >>= 8) block[i] = n & 0xFF;
    EXPECT_TRUE(aes->Encrypt(block));
    for (size_t i = 0; i < kAesBlockSize && at + i < encrypted.size(); ++i) {
      encrypted[at + i] ^= block[i];
    }
  }
  auto hmac = primitives->MakeHmacSha1(keys.subspan(key, key));
  std::array<unsigned char, kSha1Size> code;
  EXPECT_TRUE(hmac->Update(encrypted) && hmac->Finish(code));
  std::string out(salt.begin(), salt.end());
  out.append(derived.end() - 2, derived.end());
  out.append(encrypted.begin(), encrypted.end());
  out.append(code.begin(), code.begin() + zip::kAesAuthenticationCodeSize);
  return out;
}

}  // namespace nocunzip::unzip32::testing
