#include "decrypt/password.h"

#include <algorithm>
#include <vector>

#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

// The cipher of `entry`, not started yet; null when this build cannot decrypt it.
std::unique_ptr<Cipher> MakeCipherFor(const Entry& entry) {
  if (entry.encryption == Encryption::kAes) return MakeAesCipher(entry.aes_key_bits);
  if (entry.encryption != Encryption::kTraditional) return nullptr;
  // With a data descriptor the writer may not have known the CRC when it encrypted: the
  // check byte comes from the time instead.
  const bool descriptor = (entry.flags & zip::kFlagDataDescriptor) != 0;
  return MakeTraditionalCipher(
      static_cast<uint8_t>(descriptor ? entry.dos_time >> 8 : entry.crc >> 24));
}

}  // namespace

PasswordStore::~PasswordStore() { WipeSecret(password_); }

bool PasswordStore::Get(std::string* password, uint64_t* generation) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (generation_ != 0) *password = password_;
  *generation = generation_;
  return generation_ != 0;
}

void PasswordStore::Set(const std::string& password) {
  std::lock_guard<std::mutex> lock(mutex_);
  WipeSecret(password_);
  password_ = password;
  ++generation_;
}

uint64_t PasswordStore::generation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return generation_;
}

UnlockedEntry RefusedEntry(UnlockedEntry::Status status, std::string message) {
  UnlockedEntry refused;
  refused.status = status;
  refused.message = std::move(message);
  return refused;
}

void WipeSecret(std::string& secret) { std::fill(secret.begin(), secret.end(), '\0'); }

UnlockedEntry LockedEntry::Read(ByteReader& archive, uint64_t data_offset, const Entry& entry) {
  cipher_ = MakeCipherFor(entry);
  if (cipher_ == nullptr) {
    return RefusedEntry(UnlockedEntry::kUnsupported, "its kind of encryption is not supported");
  }
  header_.resize(cipher_->header_size());
  if (entry.compressed_size < cipher_->header_size() + cipher_->trailer_size() ||
      !archive.ReadAt(data_offset, header_.data(), header_.size())) {
    return RefusedEntry(UnlockedEntry::kFailed, "the data is cut short");
  }
  return RefusedEntry(UnlockedEntry::kOk, "");
}

bool LockedEntry::Fits(const std::string& password) { return cipher_->Start(password, header_); }

UnlockedEntry LockedEntry::Unlocked() {
  UnlockedEntry unlocked;
  unlocked.status = UnlockedEntry::kOk;
  unlocked.cipher = std::move(cipher_);
  return unlocked;
}

UnlockedEntry TryHeldPassword(ByteReader& archive, uint64_t data_offset, const Entry& entry,
                              const PasswordStore& store, LockedEntry* locked) {
  if (entry.encryption == Encryption::kNone) return RefusedEntry(UnlockedEntry::kOk, "");
  UnlockedEntry read = locked->Read(archive, data_offset, entry);
  if (read.status != UnlockedEntry::kOk) return read;
  std::string password;
  uint64_t generation = 0;
  const bool fits = store.Get(&password, &generation) && locked->Fits(password);
  WipeSecret(password);
  UnlockedEntry tried =
      fits ? locked->Unlocked()
           : RefusedEntry(UnlockedEntry::kNeedsPassword, "the password held does not fit");
  tried.password_generation = generation;
  return tried;
}

UnlockedEntry TryHeldPassword(ByteReader& archive, uint64_t data_offset, const Entry& entry,
                              const PasswordStore& store) {
  LockedEntry locked;
  return TryHeldPassword(archive, data_offset, entry, store, &locked);
}

}  // namespace nocunzip::unzip32
