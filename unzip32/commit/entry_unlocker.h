// Unlocks an encrypted entry on the calling thread, where the caller may be asked: the
// password held is tried first, then the caller's answers, each one that fits kept for the
// entries after it.
#pragma once

#include <cstdint>

#include "decrypt/password.h"
#include "read/byte_reader.h"
#include "read/entry.h"
#include "report/report.h"

namespace nocunzip::unzip32 {

// How often the caller is asked for the password of one entry before it is given up: a
// person may mistype twice, and a caller whose answer never fits is not asked forever.
inline constexpr int kPasswordAsksPerEntry = 3;

class EntryUnlocker {
 public:
  EntryUnlocker(Reporter& reporter, PasswordStore& store) : reporter_(reporter), store_(store) {}

  // Unlocks `entry` as TryHeldPassword does, asking through the reporter when the held
  // password does not fit.
  UnlockedEntry Unlock(ByteReader& archive, uint64_t data_offset, const Entry& entry);

 private:
  Reporter& reporter_;
  PasswordStore& store_;
};

}  // namespace nocunzip::unzip32
