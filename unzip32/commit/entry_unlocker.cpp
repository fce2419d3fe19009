#include "commit/entry_unlocker.h"

#include <string>

namespace nocunzip::unzip32 {

UnlockedEntry EntryUnlocker::Unlock(ByteReader& archive, uint64_t data_offset, const Entry& entry) {
  LockedEntry locked;
  UnlockedEntry held = TryHeldPassword(archive, data_offset, entry, store_, &locked);
  if (held.status != UnlockedEntry::kNeedsPassword) return held;
  for (int ask = 0; ask < kPasswordAsksPerEntry; ++ask) {
    std::string candidate;
    if (!reporter_.AskPassword(entry.name, &candidate)) {
      return RefusedEntry(UnlockedEntry::kNoPassword, "no password was given");
    }
    const bool fits = locked.Fits(candidate);
    if (fits) store_.Set(candidate);
    WipeSecret(candidate);
    if (fits) return locked.Unlocked();
  }
  return RefusedEntry(UnlockedEntry::kNoPassword, "wrong password (asked " +
                                                      std::to_string(kPasswordAsksPerEntry) +
                                                      " times): no correct password was given");
}

}  // namespace nocunzip::unzip32
