// Unlocks encrypted entries: checks a password against an entry's encryption header, asking
// the caller for one when needed.
//
// The password that worked last is held for the whole extraction (PasswordStore) and tried
// first, by the workers too (TryHeldPassword); only when it fails (or there is none yet) is
// the caller asked, on the calling thread (EntryUnlocker), at most three times for one
// entry, so a wrong password can never loop.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "decrypt/cipher.h"
#include "read/byte_reader.h"
#include "read/entry.h"
#include "report/report.h"

namespace nocunzip::unzip32 {

// How often the caller is asked for the password of one entry before it is given up: a
// person may mistype twice, and a caller whose answer never fits is not asked forever.
inline constexpr int kPasswordAsksPerEntry = 3;

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

// Unlocks `entry`, whose data (after its local header) begins at `data_offset` of
// `archive`, with the password held in `store`, asking nobody: kNeedsPassword when that is
// not enough. Safe on any thread.
UnlockedEntry TryHeldPassword(ByteReader& archive, uint64_t data_offset, const Entry& entry,
                              const PasswordStore& store);

class EntryUnlocker {
 public:
  EntryUnlocker(Reporter& reporter, PasswordStore& store) : reporter_(reporter), store_(store) {}

  // Unlocks `entry` as TryHeldPassword does, asking through the reporter when the held
  // password does not fit, so it runs on the calling thread.
  UnlockedEntry Unlock(ByteReader& archive, uint64_t data_offset, const Entry& entry);

 private:
  Reporter& reporter_;
  PasswordStore& store_;
};

}  // namespace nocunzip::unzip32
