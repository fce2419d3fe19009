// The cryptography of WinZip AES with OpenSSL 3's libcrypto: the algorithms are fetched once
// from the default provider, each key gets its own context.
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <algorithm>
#include <climits>

#include "decrypt/aes_primitives.h"

namespace nocunzip::unzip32 {
namespace {

template <auto Free>
struct OpenSslFree {
  template <typename T>
  void operator()(T* object) const {
    Free(object);
  }
};
using CipherAlgorithm = std::unique_ptr<EVP_CIPHER, OpenSslFree<EVP_CIPHER_free>>;
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, OpenSslFree<EVP_CIPHER_CTX_free>>;
using MacAlgorithm = std::unique_ptr<EVP_MAC, OpenSslFree<EVP_MAC_free>>;
using MacContext = std::unique_ptr<EVP_MAC_CTX, OpenSslFree<EVP_MAC_CTX_free>>;
using DigestAlgorithm = std::unique_ptr<EVP_MD, OpenSslFree<EVP_MD_free>>;

class OpenSslBlockEncryptor final : public AesBlockEncryptor {
 public:
  explicit OpenSslBlockEncryptor(CipherContext context) : context_(std::move(context)) {}

  bool Encrypt(std::span<unsigned char> blocks) override {
    // EVP_EncryptUpdate counts in int; ECB without padding encrypts in place.
    constexpr size_t kMaxStep = (INT_MAX / kAesBlockSize) * kAesBlockSize;
    while (!blocks.empty()) {
      const size_t step = std::min(blocks.size(), kMaxStep);
      int written = 0;
      if (EVP_EncryptUpdate(context_.get(), blocks.data(), &written, blocks.data(),
                            static_cast<int>(step)) != 1 ||
          static_cast<size_t>(written) != step) {
        return false;
      }
      blocks = blocks.subspan(step);
    }
    return true;
  }

 private:
  CipherContext context_;
};

class OpenSslHmacSha1 final : public HmacSha1 {
 public:
  explicit OpenSslHmacSha1(MacContext context) : context_(std::move(context)) {}

  bool Update(std::span<const unsigned char> data) override {
    return EVP_MAC_update(context_.get(), data.data(), data.size()) == 1;
  }
  bool Finish(std::span<unsigned char, kSha1Size> code) override {
    size_t written = 0;
    return EVP_MAC_final(context_.get(), code.data(), &written, code.size()) == 1 &&
           written == code.size();
  }

 private:
  MacContext context_;
};

class OpenSslPrimitives final : public AesPrimitives {
 public:
  bool Open() {
    sha1_.reset(EVP_MD_fetch(nullptr, "SHA1", nullptr));
    hmac_.reset(EVP_MAC_fetch(nullptr, "HMAC", nullptr));
    aes_[0].reset(EVP_CIPHER_fetch(nullptr, "AES-128-ECB", nullptr));
    aes_[1].reset(EVP_CIPHER_fetch(nullptr, "AES-192-ECB", nullptr));
    aes_[2].reset(EVP_CIPHER_fetch(nullptr, "AES-256-ECB", nullptr));
    return sha1_ && hmac_ && aes_[0] && aes_[1] && aes_[2];
  }

  bool Pbkdf2HmacSha1(std::string_view password, std::span<const unsigned char> salt,
                      uint32_t rounds, std::span<unsigned char> out) override {
    if (password.size() > INT_MAX || salt.size() > INT_MAX || rounds > INT_MAX ||
        out.size() > INT_MAX) {
      return false;
    }
    return PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                             static_cast<int>(salt.size()), static_cast<int>(rounds), sha1_.get(),
                             static_cast<int>(out.size()), out.data()) == 1;
  }

  std::unique_ptr<AesBlockEncryptor> MakeBlockEncryptor(
      std::span<const unsigned char> key) override {
    if (key.size() != 16 && key.size() != 24 && key.size() != 32) return nullptr;
    const EVP_CIPHER* algorithm = aes_[(key.size() - 16) / 8].get();
    CipherContext context(EVP_CIPHER_CTX_new());
    if (!context ||
        EVP_EncryptInit_ex2(context.get(), algorithm, key.data(), nullptr, nullptr) != 1 ||
        EVP_CIPHER_CTX_set_padding(context.get(), 0) != 1) {
      return nullptr;
    }
    return std::make_unique<OpenSslBlockEncryptor>(std::move(context));
  }

  std::unique_ptr<HmacSha1> MakeHmacSha1(std::span<const unsigned char> key) override {
    // A null key would mean "keep the key set before": an empty key needs an address.
    static constexpr unsigned char kEmptyKey = 0;
    const unsigned char* key_bytes = key.empty() ? &kEmptyKey : key.data();
    MacContext context(EVP_MAC_CTX_new(hmac_.get()));
    char digest[] = "SHA1";
    const OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
        OSSL_PARAM_construct_end(),
    };
    if (!context || EVP_MAC_init(context.get(), key_bytes, key.size(), params) != 1) {
      return nullptr;
    }
    return std::make_unique<OpenSslHmacSha1>(std::move(context));
  }

 private:
  DigestAlgorithm sha1_;
  MacAlgorithm hmac_;
  CipherAlgorithm aes_[3];  // 128, 192 and 256-bit keys
};

}  // namespace

std::unique_ptr<AesPrimitives> AesPrimitives::Open() {
  auto primitives = std::make_unique<OpenSslPrimitives>();
  if (!primitives->Open()) return nullptr;
  return primitives;
}

}  // namespace nocunzip::unzip32
