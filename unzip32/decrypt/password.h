// Unlocks encrypted entries: checks a password against an entry's encryption header, asking
// the caller for one when needed.
//
// The password that worked last is held for the whole extraction and tried first; only
// when it fails (or there is none yet) is the caller asked, at most three times for one
// entry, so a wrong password can never loop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "read/byte_reader.h"
#include "decrypt/cipher.h"
#include "read/entry.h"
#include "report/report.h"

namespace nocunzip::unzip32 {

inline constexpr int kPasswordAsksPerEntry = 3;

struct UnlockedEntry {
  enum Status { kOk, kNoPassword, kUnsupported, kFailed };
  Status status = kFailed;
  // Started with the right password, ready for DecodeEntry; null for unencrypted entries.
  std::unique_ptr<Cipher> cipher;
  std::string message;  // why the entry could not be unlocked, for a person
};

class EntryUnlocker {
 public:
  explicit EntryUnlocker(Reporter& reporter) : reporter_(reporter) {}
  ~EntryUnlocker();
  EntryUnlocker(const EntryUnlocker&) = delete;
  EntryUnlocker& operator=(const EntryUnlocker&) = delete;

  // Unlocks `entry`, whose data (after its local header) begins at `data_offset` of
  // `archive`. Asks through the reporter, so it runs on the calling thread.
  UnlockedEntry Unlock(ByteReader& archive, uint64_t data_offset, const Entry& entry);

 private:
  Reporter& reporter_;
  std::string password_;  // the one that worked last
  bool have_password_ = false;
};

}  // namespace nocunzip::unzip32
