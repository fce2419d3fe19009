#include "read/duplicate_index.h"

#include <algorithm>

namespace nocunzip::unzip32 {

bool HashMeetings::Seal() {
  std::sort(hashes_.begin(), hashes_.end());
  for (size_t i = 0; i < hashes_.size(); ++i) {
    const bool meets_previous = i > 0 && hashes_[i - 1].first == hashes_[i].first;
    const bool meets_next = i + 1 < hashes_.size() && hashes_[i + 1].first == hashes_[i].first;
    if (meets_previous || meets_next) suspects_.push_back(hashes_[i].second);
  }
  std::vector<std::pair<uint64_t, uint64_t>>().swap(hashes_);
  std::sort(suspects_.begin(), suspects_.end());
  suspects_.erase(std::unique(suspects_.begin(), suspects_.end()), suspects_.end());
  suspects_.shrink_to_fit();
  return !suspects_.empty();
}

bool HashMeetings::IsSuspect(uint64_t item) const {
  return std::binary_search(suspects_.begin(), suspects_.end(), item);
}

}  // namespace nocunzip::unzip32
