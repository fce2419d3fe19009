#include "read/duplicate_index.h"

#include <algorithm>

namespace nocunzip::unzip32 {

void DuplicateIndex::Add(uint64_t hash) {
  hashes_.emplace_back(hash, static_cast<uint64_t>(hashes_.size()));
}

bool DuplicateIndex::Seal() {
  std::sort(hashes_.begin(), hashes_.end());
  for (size_t i = 0; i < hashes_.size(); ++i) {
    const bool meets_previous = i > 0 && hashes_[i - 1].first == hashes_[i].first;
    const bool meets_next = i + 1 < hashes_.size() && hashes_[i + 1].first == hashes_[i].first;
    if (meets_previous || meets_next) suspects_.push_back(hashes_[i].second);
  }
  std::vector<std::pair<uint64_t, uint64_t>>().swap(hashes_);
  std::sort(suspects_.begin(), suspects_.end());
  return !suspects_.empty();
}

bool DuplicateIndex::IsSuspect(uint64_t item) const {
  return std::binary_search(suspects_.begin(), suspects_.end(), item);
}

const std::vector<DuplicateIndex::Earlier>& DuplicateIndex::Confirm(uint64_t item,
                                                                    const std::string& key,
                                                                    std::string detail) {
  std::vector<Earlier>& same = confirmed_[key];
  answer_ = same;
  same.push_back({item, std::move(detail)});
  return answer_;
}

}  // namespace nocunzip::unzip32
