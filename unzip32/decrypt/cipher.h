// Decryption of one entry's data: the format's traditional stream cipher and WinZip AES,
// behind one small interface. The encrypted data of an entry is a header (checked against
// the password), the data itself, and for AES a trailer (the authentication code).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

namespace nocunzip::unzip32 {

class Cipher {
 public:
  virtual ~Cipher() = default;
  // Bytes before the data (traditional: 12; AES: salt and 2 check bytes) and after it
  // (AES: the 10-byte authentication code).
  virtual size_t header_size() const = 0;
  virtual size_t trailer_size() const { return 0; }
  // Takes a password and the header bytes (header_size() of them); false when the header
  // shows the password to be wrong. May be called again with another password.
  virtual bool Start(std::string_view password, std::span<const unsigned char> header) = 0;
  // Decrypts the next bytes of the data in place, in order.
  virtual void Decrypt(std::span<unsigned char> data) = 0;
  // After all data: whether the trailer (trailer_size() bytes) authenticates what was
  // decrypted. Always true where there is nothing to check.
  virtual bool Finish(std::span<const unsigned char> trailer) = 0;
};

// The traditional cipher. `check_byte` is what the last header byte must decrypt to: the
// high byte of the CRC, or of the DOS time when the entry has a data descriptor (bit 3).
std::unique_ptr<Cipher> MakeTraditionalCipher(uint8_t check_byte);
// WinZip AES with a key of `key_bits` (128, 192 or 256); null when the platform's
// cryptography cannot be used.
std::unique_ptr<Cipher> MakeAesCipher(uint16_t key_bits);

}  // namespace nocunzip::unzip32
