#include "read/overlap_check.h"

#include <algorithm>

namespace nocunzip::unzip32 {

InOrderOverlapCheck::Verdict InOrderOverlapCheck::Add(const EntryRange& range, EntryRange* other) {
  if (any_ && range.begin < last_.begin) return Verdict::kOutOfOrder;
  if (any_ && range.begin < last_.end) {
    *other = last_;
    return Verdict::kOverlap;
  }
  any_ = true;
  last_ = range;
  return Verdict::kFine;
}

bool FindOverlap(std::vector<EntryRange>& ranges, EntryRange* first, EntryRange* second) {
  std::sort(ranges.begin(), ranges.end(),
            [](const EntryRange& a, const EntryRange& b) { return a.begin < b.begin; });
  for (size_t i = 1; i < ranges.size(); ++i) {
    if (ranges[i].begin < ranges[i - 1].end) {
      *first = ranges[i - 1];
      *second = ranges[i];
      return true;
    }
  }
  return false;
}

}  // namespace nocunzip::unzip32
