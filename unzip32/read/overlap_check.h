// Checks that no two entries share bytes of the archive: the "overlapped files" kind of ZIP
// bomb lets thousands of names share one compressed stream. Each entry occupies its local
// header and its data. Archives whose entries come in file order, as nearly all do, are
// checked entry by entry with constant memory; others need every range at once.
#pragma once

#include <cstdint>
#include <vector>

namespace nocunzip::unzip32 {

struct EntryRange {
  uint64_t begin = 0;  // the local header
  uint64_t end = 0;    // one past the data
  uint64_t index = 0;  // of the entry in the central directory
  // Where a reader that streams through the archive goes on after the entry.
  uint64_t resume = 0;
};

class InOrderOverlapCheck {
 public:
  enum class Verdict { kFine, kOverlap, kOutOfOrder };
  // Takes the next entry's range; on kOverlap `other` is the entry it overlaps. kOutOfOrder
  // means the entries do not come in file order: check them with FindOverlap instead.
  Verdict Add(const EntryRange& range, EntryRange* other);
  // The range that Add took last; false before the first.
  bool Last(EntryRange* range) const {
    *range = last_;
    return any_;
  }

 private:
  bool any_ = false;
  EntryRange last_;
};

// Two overlapping ranges of `ranges` (sorted in place by their beginning), if there are any.
bool FindOverlap(std::vector<EntryRange>& ranges, EntryRange* first, EntryRange* second);

}  // namespace nocunzip::unzip32
