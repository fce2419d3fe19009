// The platform's cryptography that WinZip AES needs, and no more: PBKDF2-HMAC-SHA1, AES
// encryption of whole blocks (ECB: the counter mode is built on top of it), and HMAC-SHA1
// fed piece by piece. OpenSSL's libcrypto on Linux (cipher_aes-posix.cpp), the Windows
// CNG API (cipher_aes-win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace nocunzip::unzip32 {

inline constexpr size_t kAesBlockSize = 16;
inline constexpr size_t kSha1Size = 20;

// AES with one key, each 16-byte block encrypted on its own.
class AesBlockEncryptor {
 public:
  virtual ~AesBlockEncryptor() = default;
  // Encrypts `blocks` in place; its size is a multiple of kAesBlockSize. False when the
  // library fails.
  virtual bool Encrypt(std::span<unsigned char> blocks) = 0;
};

// HMAC-SHA1 with one key over data given in pieces.
class HmacSha1 {
 public:
  virtual ~HmacSha1() = default;
  virtual bool Update(std::span<const unsigned char> data) = 0;
  // The code of everything given so far; the object takes no more data afterwards.
  virtual bool Finish(std::span<unsigned char, kSha1Size> code) = 0;
};

// The algorithms, opened once and used for any number of keys.
class AesPrimitives {
 public:
  // Null when the platform's cryptography cannot be opened.
  static std::unique_ptr<AesPrimitives> Open();
  virtual ~AesPrimitives() = default;

  // Fills `out` with PBKDF2-HMAC-SHA1 of the password and salt.
  virtual bool Pbkdf2HmacSha1(std::string_view password, std::span<const unsigned char> salt,
                              uint32_t rounds, std::span<unsigned char> out) = 0;
  // Null when the key is not 16, 24 or 32 bytes long or the library fails.
  virtual std::unique_ptr<AesBlockEncryptor> MakeBlockEncryptor(
      std::span<const unsigned char> key) = 0;
  virtual std::unique_ptr<HmacSha1> MakeHmacSha1(std::span<const unsigned char> key) = 0;
};

}  // namespace nocunzip::unzip32
