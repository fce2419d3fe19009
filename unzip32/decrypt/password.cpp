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

}  // namespace

EntryUnlocker::~EntryUnlocker() { Wipe(password_); }

UnlockedEntry EntryUnlocker::Unlock(ByteReader& archive, uint64_t data_offset, const Entry& entry) {
  if (entry.encryption == Encryption::kNone) return Refused(UnlockedEntry::kOk, "");
  std::unique_ptr<Cipher> cipher = MakeCipherFor(entry);
  if (cipher == nullptr) {
    return Refused(UnlockedEntry::kUnsupported, "its kind of encryption is not supported");
  }
  std::vector<unsigned char> header(cipher->header_size());
  if (entry.compressed_size < cipher->header_size() + cipher->trailer_size() ||
      !archive.ReadAt(data_offset, header.data(), header.size())) {
    return Refused(UnlockedEntry::kFailed, "the data is cut short");
  }
  UnlockedEntry unlocked;
  unlocked.status = UnlockedEntry::kOk;
  if (have_password_ && cipher->Start(password_, header)) {
    unlocked.cipher = std::move(cipher);
    return unlocked;
  }
  for (int ask = 0; ask < kPasswordAsksPerEntry; ++ask) {
    std::string candidate;
    if (!reporter_.AskPassword(entry.name, &candidate)) {
      return Refused(UnlockedEntry::kNoPassword, "no password was given");
    }
    if (cipher->Start(candidate, header)) {
      Wipe(password_);
      password_ = std::move(candidate);
      have_password_ = true;
      unlocked.cipher = std::move(cipher);
      return unlocked;
    }
    Wipe(candidate);
  }
  return Refused(UnlockedEntry::kNoPassword, "wrong password (asked " +
                                                 std::to_string(kPasswordAsksPerEntry) +
                                                 " times): no correct password was given");
}

}  // namespace nocunzip::unzip32
