// The cryptography of WinZip AES with the Windows CNG API (bcrypt): an AES provider in ECB
// mode and an HMAC-SHA1 provider (which PBKDF2 uses too) are opened once, each key gets its
// own key or hash object.
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <algorithm>
#include <climits>

#include "decrypt/aes_primitives.h"
#include "unique_handle.h"

namespace nocunzip::unzip32 {
namespace {

struct AlgorithmTraits {
  using Value = BCRYPT_ALG_HANDLE;
  static Value Invalid() { return nullptr; }
  static void Close(Value handle) { BCryptCloseAlgorithmProvider(handle, 0); }
};
struct KeyTraits {
  using Value = BCRYPT_KEY_HANDLE;
  static Value Invalid() { return nullptr; }
  static void Close(Value handle) { BCryptDestroyKey(handle); }
};
struct HashTraits {
  using Value = BCRYPT_HASH_HANDLE;
  static Value Invalid() { return nullptr; }
  static void Close(Value handle) { BCryptDestroyHash(handle); }
};
using Algorithm = UniqueHandle<AlgorithmTraits>;
using Key = UniqueHandle<KeyTraits>;
using Hash = UniqueHandle<HashTraits>;

bool Succeeded(NTSTATUS status) { return BCRYPT_SUCCESS(status); }
// CNG counts bytes in ULONG, which is 32 bits wide.
bool FitsUlong(size_t size) { return static_cast<uint64_t>(size) <= ULONG_MAX; }

// CNG takes byte buffers as non-const PUCHAR even where it only reads them, and may refuse a
// null buffer of length 0: an empty buffer gets the address of a spare byte.
PUCHAR Bytes(const unsigned char* data, size_t size) {
  static constexpr unsigned char kEmpty = 0;
  return const_cast<PUCHAR>(size ? data : &kEmpty);
}
PUCHAR Bytes(std::span<const unsigned char> data) { return Bytes(data.data(), data.size()); }

class CngBlockEncryptor final : public AesBlockEncryptor {
 public:
  explicit CngBlockEncryptor(Key key) : key_(std::move(key)) {}

  bool Encrypt(std::span<unsigned char> blocks) override {
    constexpr size_t kMaxStep = (ULONG_MAX / kAesBlockSize) * kAesBlockSize;
    while (!blocks.empty()) {
      const ULONG step = static_cast<ULONG>(std::min(blocks.size(), kMaxStep));
      ULONG written = 0;
      // ECB has no initial vector; in place is allowed.
      if (!Succeeded(BCryptEncrypt(key_.get(), blocks.data(), step, nullptr, nullptr, 0,
                                   blocks.data(), step, &written, 0)) ||
          written != step) {
        return false;
      }
      blocks = blocks.subspan(step);
    }
    return true;
  }

 private:
  Key key_;
};

class CngHmacSha1 final : public HmacSha1 {
 public:
  explicit CngHmacSha1(Hash hash) : hash_(std::move(hash)) {}

  bool Update(std::span<const unsigned char> data) override {
    while (!data.empty()) {
      const ULONG step = static_cast<ULONG>(std::min<size_t>(data.size(), ULONG_MAX));
      if (!Succeeded(BCryptHashData(hash_.get(), Bytes(data.data(), step), step, 0))) return false;
      data = data.subspan(step);
    }
    return true;
  }
  bool Finish(std::span<unsigned char, kSha1Size> code) override {
    return Succeeded(BCryptFinishHash(hash_.get(), code.data(), kSha1Size, 0));
  }

 private:
  Hash hash_;
};

class CngPrimitives final : public AesPrimitives {
 public:
  bool Open() {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&handle, BCRYPT_AES_ALGORITHM, nullptr, 0))) {
      return false;
    }
    aes_.reset(handle);
    const auto* ecb = reinterpret_cast<const unsigned char*>(BCRYPT_CHAIN_MODE_ECB);
    if (!Succeeded(BCryptSetProperty(aes_.get(), BCRYPT_CHAINING_MODE,
                                     Bytes(ecb, sizeof(BCRYPT_CHAIN_MODE_ECB)),
                                     sizeof(BCRYPT_CHAIN_MODE_ECB), 0))) {
      return false;
    }
    handle = nullptr;
    if (!Succeeded(BCryptOpenAlgorithmProvider(&handle, BCRYPT_SHA1_ALGORITHM, nullptr,
                                               BCRYPT_ALG_HANDLE_HMAC_FLAG))) {
      return false;
    }
    hmac_.reset(handle);
    return true;
  }

  bool Pbkdf2HmacSha1(std::string_view password, std::span<const unsigned char> salt,
                      uint32_t rounds, std::span<unsigned char> out) override {
    if (!FitsUlong(password.size()) || !FitsUlong(salt.size()) || !FitsUlong(out.size())) {
      return false;
    }
    const auto* password_bytes = reinterpret_cast<const unsigned char*>(password.data());
    return Succeeded(BCryptDeriveKeyPBKDF2(hmac_.get(), Bytes(password_bytes, password.size()),
                                           static_cast<ULONG>(password.size()), Bytes(salt),
                                           static_cast<ULONG>(salt.size()), rounds, out.data(),
                                           static_cast<ULONG>(out.size()), 0));
  }

  std::unique_ptr<AesBlockEncryptor> MakeBlockEncryptor(
      std::span<const unsigned char> key) override {
    if (key.size() != 16 && key.size() != 24 && key.size() != 32) return nullptr;
    BCRYPT_KEY_HANDLE handle = nullptr;
    // The key object's memory is left to the system (null buffer).
    if (!Succeeded(BCryptGenerateSymmetricKey(aes_.get(), &handle, nullptr, 0, Bytes(key),
                                              static_cast<ULONG>(key.size()), 0))) {
      return nullptr;
    }
    return std::make_unique<CngBlockEncryptor>(Key(handle));
  }

  std::unique_ptr<HmacSha1> MakeHmacSha1(std::span<const unsigned char> key) override {
    if (!FitsUlong(key.size())) return nullptr;
    BCRYPT_HASH_HANDLE handle = nullptr;
    if (!Succeeded(BCryptCreateHash(hmac_.get(), &handle, nullptr, 0, Bytes(key),
                                    static_cast<ULONG>(key.size()), 0))) {
      return nullptr;
    }
    return std::make_unique<CngHmacSha1>(Hash(handle));
  }

 private:
  Algorithm aes_;   // in ECB mode
  Algorithm hmac_;  // SHA-1 as HMAC
};

}  // namespace

std::unique_ptr<AesPrimitives> AesPrimitives::Open() {
  auto primitives = std::make_unique<CngPrimitives>();
  if (!primitives->Open()) return nullptr;
  return primitives;
}

}  // namespace nocunzip::unzip32
