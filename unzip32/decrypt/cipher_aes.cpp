// WinZip AES (AE-1 and AE-2, which differ only in whether the entry keeps its CRC).
//
// The header is a salt (half the key's length) and a 2-byte password check. PBKDF2-HMAC-SHA1
// of the password and salt, 1000 rounds, gives the AES key, the HMAC key (as long as the AES
// key) and the 2 check bytes, in that order. The data is AES in counter mode: the counter is
// a 16-byte little-endian number starting at 1, and each encrypted counter block is XORed
// onto 16 bytes of data. The trailer is the first 10 bytes of HMAC-SHA1 over the encrypted
// data.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "decrypt/aes_primitives.h"
#include "decrypt/cipher.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

// WinZip AES derives its keys with PBKDF2-HMAC-SHA1 at this fixed count of rounds.
constexpr uint32_t kPbkdf2Rounds = 1000;
// Counter blocks encrypted by one call of the library: enough to make the call's own cost
// vanish, small enough for the cache.
constexpr size_t kKeyStreamBlocks = 512;

// The 128-bit counter, incremented as a little-endian number.
class Counter {
 public:
  void Reset() { low_ = 1, high_ = 0; }
  void WriteAndAdvance(unsigned char* block) {
    WriteLittleEndian(block, low_);
    WriteLittleEndian(block + 8, high_);
    if (++low_ == 0) ++high_;
  }

 private:
  static void WriteLittleEndian(unsigned char* out, uint64_t value) {
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(out, &value, 8);  // one store
    } else {
      for (int i = 0; i < 8; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
    }
  }

  uint64_t low_ = 1;
  uint64_t high_ = 0;
};

// XORs `stream` onto `data`, eight bytes at a time where it can.
void XorInto(std::span<unsigned char> data, const unsigned char* stream) {
  size_t i = 0;
  for (; i + 8 <= data.size(); i += 8) {
    uint64_t a, b;
    std::memcpy(&a, data.data() + i, 8);
    std::memcpy(&b, stream + i, 8);
    a ^= b;
    std::memcpy(data.data() + i, &a, 8);
  }
  for (; i < data.size(); ++i) data[i] ^= stream[i];
}

// Compares in a time that does not depend on where the bytes differ.
bool SameBytes(std::span<const unsigned char> a, std::span<const unsigned char> b) {
  if (a.size() != b.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < a.size(); ++i) difference |= a[i] ^ b[i];
  return difference == 0;
}

class AesCipher final : public Cipher {
 public:
  AesCipher(std::unique_ptr<AesPrimitives> primitives, size_t key_size)
      : primitives_(std::move(primitives)), key_size_(key_size) {}

  size_t header_size() const override { return salt_size() + zip::kAesPasswordCheckSize; }
  size_t trailer_size() const override { return zip::kAesAuthenticationCodeSize; }

  bool Start(std::string_view password, std::span<const unsigned char> header) override {
    encryptor_.reset();
    hmac_.reset();
    if (header.size() != header_size()) return false;
    // AES key, HMAC key, check bytes.
    std::vector<unsigned char> derived(2 * key_size_ + zip::kAesPasswordCheckSize);
    const std::span<const unsigned char> keys(derived);
    if (!primitives_->Pbkdf2HmacSha1(password, header.first(salt_size()), kPbkdf2Rounds, derived) ||
        !std::ranges::equal(keys.last(zip::kAesPasswordCheckSize),
                            header.last(zip::kAesPasswordCheckSize))) {
      return false;
    }
    encryptor_ = primitives_->MakeBlockEncryptor(keys.first(key_size_));
    hmac_ = primitives_->MakeHmacSha1(keys.subspan(key_size_, key_size_));
    if (!encryptor_ || !hmac_) {
      encryptor_.reset();
      hmac_.reset();
      return false;
    }
    counter_.Reset();
    stream_used_ = stream_size_ = 0;
    failed_ = false;
    return true;
  }

  void Decrypt(std::span<unsigned char> data) override {
    if (!hmac_ || failed_) {
      failed_ = true;
      return;
    }
    while (!data.empty() && !failed_) {
      if (stream_used_ == stream_size_ && !RefillKeyStream(data.size())) {
        failed_ = true;
        break;
      }
      // The code covers the data as stored, before decryption. Both passes over a step
      // find it in the cache.
      const size_t step = std::min(data.size(), stream_size_ - stream_used_);
      if (!hmac_->Update(data.first(step))) failed_ = true;
      XorInto(data.first(step), key_stream_.data() + stream_used_);
      stream_used_ += step;
      data = data.subspan(step);
    }
  }

  bool Finish(std::span<const unsigned char> trailer) override {
    if (!hmac_ || failed_) return false;
    std::array<unsigned char, kSha1Size> code;
    const bool finished = hmac_->Finish(code);
    hmac_.reset();  // spent: a second Finish fails
    return finished && SameBytes(std::span(code).first(zip::kAesAuthenticationCodeSize), trailer);
  }

 private:
  size_t salt_size() const { return key_size_ / 2; }

  // Encrypts the next counter blocks, as many as `wanted` bytes need, up to the buffer.
  bool RefillKeyStream(size_t wanted) {
    const size_t blocks = std::min(kKeyStreamBlocks, (wanted + kAesBlockSize - 1) / kAesBlockSize);
    for (size_t i = 0; i < blocks; ++i) counter_.WriteAndAdvance(&key_stream_[i * kAesBlockSize]);
    stream_size_ = blocks * kAesBlockSize;
    stream_used_ = 0;
    return encryptor_->Encrypt(std::span(key_stream_).first(stream_size_));
  }

  std::unique_ptr<AesPrimitives> primitives_;
  size_t key_size_;  // bytes
  std::unique_ptr<AesBlockEncryptor> encryptor_;
  std::unique_ptr<HmacSha1> hmac_;
  Counter counter_;
  std::array<unsigned char, kKeyStreamBlocks * kAesBlockSize> key_stream_;
  size_t stream_size_ = 0;  // bytes of key_stream_ made
  size_t stream_used_ = 0;  // of them used
  bool failed_ = false;     // the library failed, or data came without a good Start
};

}  // namespace

std::unique_ptr<Cipher> MakeAesCipher(uint16_t key_bits) {
  if (key_bits != 128 && key_bits != 192 && key_bits != 256) return nullptr;
  std::unique_ptr<AesPrimitives> primitives = AesPrimitives::Open();
  if (!primitives) return nullptr;
  return std::make_unique<AesCipher>(std::move(primitives), key_bits / 8);
}

}  // namespace nocunzip::unzip32
