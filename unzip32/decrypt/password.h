// Unlocks encrypted entries: checks a password against an entry's encryption header.
//
// The password that worked last is held for the whole extraction (PasswordStore) and tried
// first, by the workers too (TryHeldPassword); only when it fails (or there is none yet) is
// the caller asked, on the calling thread (commit/entry_unlocker.h), a few times at most
// for one entry for one entry, so a wrong password can never loop.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "decrypt/cipher.h"
#include "read/byte_reader.h"
#include "read/entry.h"

namespace nocunzip::unzip32 {

struct UnlockedEntry {
  // kNeedsPassword: no password is held or the held one does not fit; only the caller can
  // give another.
  enum Status { kOk, kNoPassword, kUnsupported, kFailed, kNeedsPassword };
  Status status = kFailed;
  // Started with the right password, ready for DecodeEntry; null for unencrypted entries.
  std::unique_ptr<Cipher> cipher;
  std::string message;               // why the entry could not be unlocked, for a person
  uint64_t password_generation = 0;  // the held password that was tried (see PasswordStore)
};

// The password that worked last. Safe to use from several threads.
class PasswordStore {
 public:
  PasswordStore() = default;
  ~PasswordStore();  // wipes the password
  PasswordStore(const PasswordStore&) = delete;
  PasswordStore& operator=(const PasswordStore&) = delete;

  // Copies the password into `password`, and its generation into `generation`; false
  // when none is held yet.
  bool Get(std::string* password, uint64_t* generation) const;
  void Set(const std::string& password);
  // Which password is held: 0 for none, one more with every Set. A result decoded under
  // another generation than the one held now may differ from one decoded now.
  uint64_t generation() const;

 private:
  mutable std::mutex mutex_;
  std::string password_;
  uint64_t generation_ = 0;
};

// An entry's cipher and its encryption header, read once for every password tried.
class LockedEntry {
 public:
  // Reads the encryption header of `entry`, whose data (after its local header) begins at
  // `data_offset` of `archive`: kOk, or why it cannot be unlocked whatever the password.
  UnlockedEntry Read(ByteReader& archive, uint64_t data_offset, const Entry& entry);
  // Whether `password` opens the entry read; Unlocked then hands over the started cipher.
  bool Fits(const std::string& password);
  UnlockedEntry Unlocked();

 private:
  std::unique_ptr<Cipher> cipher_;
  std::vector<unsigned char> header_;
};

// Unlocks `entry` with the password held in `store`, asking nobody: kNeedsPassword when that
// is not enough, with `locked` read and ready for other passwords. Safe on any thread.
UnlockedEntry TryHeldPassword(ByteReader& archive, uint64_t data_offset, const Entry& entry,
                              const PasswordStore& store, LockedEntry* locked);
// The same with a LockedEntry of its own.
UnlockedEntry TryHeldPassword(ByteReader& archive, uint64_t data_offset, const Entry& entry,
                              const PasswordStore& store);

// An entry that cannot be unlocked, and why.
UnlockedEntry RefusedEntry(UnlockedEntry::Status status, std::string message);

// Overwrites a secret before its memory is given back.
void WipeSecret(std::string& secret);

}  // namespace nocunzip::unzip32
