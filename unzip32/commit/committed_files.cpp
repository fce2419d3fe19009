#include "commit/committed_files.h"

#include <algorithm>

namespace nocunzip::unzip32 {

void CommittedFiles::Add(const FileIdentity& identity) {
  identities_.push_back(identity);
  if (identities_.size() - sorted_ < kTail) return;
  const auto middle = identities_.begin() + static_cast<std::ptrdiff_t>(sorted_);
  std::sort(middle, identities_.end());
  std::inplace_merge(identities_.begin(), middle, identities_.end());
  sorted_ = identities_.size();
}

bool CommittedFiles::Contains(const FileIdentity& identity) const {
  const auto middle = identities_.begin() + static_cast<std::ptrdiff_t>(sorted_);
  return std::binary_search(identities_.begin(), middle, identity) ||
         std::find(middle, identities_.end(), identity) != identities_.end();
}

}  // namespace nocunzip::unzip32
