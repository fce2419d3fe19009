#include "decrypt/password.h"

#include <algorithm>
#include <vector>

#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

UnlockedEntry Refused(UnlockedEntry::Status status, std::string message) {
  UnlockedEntry refused;
  refused.status = status;
  refused.message = std::move(message);
  return refused;
}

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

void Wipe(std::string& secret) { std::fill(secret.begin(), secret.end(), '\0'); }

// An entry's cipher and its encryption header, read once for every password tried.
struct LockedEntry {
  std::unique_ptr<Cipher> cipher;
  std::vector<unsigned char> header;
};

// Reads the header of `entry`; a refusal when it cannot be unlocked whatever the password.
UnlockedEntry ReadLock(ByteReader& archive, uint64_t data_offset, const Entry& entry,
                       LockedEntry* locked) {
  locked->cipher = MakeCipherFor(entry);
  if (locked->cipher == nullptr) {
    return Refused(UnlockedEntry::kUnsupported, "its kind of encryption is not supported");
  }
  const Cipher& cipher = *locked->cipher;
  locked->header.resize(cipher.header_size());
  if (entry.compressed_size < cipher.header_size() + cipher.trailer_size() ||
      !archive.ReadAt(data_offset, locked->header.data(), locked->header.size())) {
    return Refused(UnlockedEntry::kFailed, "the data is cut short");
  }
  return Refused(UnlockedEntry::kOk, "");
}

UnlockedEntry Unlocked(LockedEntry& locked) {
  UnlockedEntry unlocked;
  unlocked.status = UnlockedEntry::kOk;
  unlocked.cipher = std::move(locked.cipher);
  return unlocked;
}

// Tries the held password; kOk, kNeedsPassword or why the entry cannot be unlocked at all.
UnlockedEntry TryHeld(ByteReader& archive, uint64_t data_offset, const Entry& entry,
                      const PasswordStore& store, LockedEntry* locked) {
  if (entry.encryption == Encryption::kNone) return Refused(UnlockedEntry::kOk, "");
  UnlockedEntry read = ReadLock(archive, data_offset, entry, locked);
  if (read.status != UnlockedEntry::kOk) return read;
  std::string password;
  uint64_t generation = 0;
  const bool fits =
      store.Get(&password, &generation) && locked->cipher->Start(password, locked->header);
  Wipe(password);
  UnlockedEntry tried =
      fits ? Unlocked(*locked)
           : Refused(UnlockedEntry::kNeedsPassword, "the password held does not fit");
  tried.password_generation = generation;
  return tried;
}

}  // namespace

PasswordStore::~PasswordStore() { Wipe(password_); }

bool PasswordStore::Get(std::string* password, uint64_t* generation) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (generation_ != 0) *password = password_;
  *generation = generation_;
  return generation_ != 0;
}

void PasswordStore::Set(const std::string& password) {
  std::lock_guard<std::mutex> lock(mutex_);
  Wipe(password_);
  password_ = password;
  ++generation_;
}

uint64_t PasswordStore::generation() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return generation_;
}

UnlockedEntry TryHeldPassword(ByteReader& archive, uint64_t data_offset, const Entry& entry,
                              const PasswordStore& store) {
  LockedEntry locked;
  return TryHeld(archive, data_offset, entry, store, &locked);
}

UnlockedEntry EntryUnlocker::Unlock(ByteReader& archive, uint64_t data_offset, const Entry& entry) {
  LockedEntry locked;
  UnlockedEntry held = TryHeld(archive, data_offset, entry, store_, &locked);
  if (held.status != UnlockedEntry::kNeedsPassword) return held;
  for (int ask = 0; ask < kPasswordAsksPerEntry; ++ask) {
    std::string candidate;
    if (!reporter_.AskPassword(entry.name, &candidate)) {
      return Refused(UnlockedEntry::kNoPassword, "no password was given");
    }
    const bool fits = locked.cipher->Start(candidate, locked.header);
    if (fits) store_.Set(candidate);
    Wipe(candidate);
    if (fits) return Unlocked(locked);
  }
  return Refused(UnlockedEntry::kNoPassword, "wrong password (asked " +
                                                 std::to_string(kPasswordAsksPerEntry) +
                                                 " times): no correct password was given");
}

}  // namespace nocunzip::unzip32
