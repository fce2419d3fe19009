// The files that this run committed, by identity (volume and file number), so that an
// entry that finds its name taken can tell exactly whether an earlier entry of the run put
// the file there ("two entries are named X") or it was there before.
//
// 16 bytes a file: a sorted array and a short unsorted tail that is merged into it when it
// grows, so that a look-up costs a binary search and a scan of at most kTail identities.
#pragma once

#include <cstddef>
#include <vector>

#include "disk/output.h"

namespace nocunzip::unzip32 {

class CommittedFiles {
 public:
  // Room for `count` files, so that the array does not grow past them.
  void Reserve(size_t count) { identities_.reserve(count); }
  void Add(const FileIdentity& identity);
  bool Contains(const FileIdentity& identity) const;
  size_t size() const { return identities_.size(); }

 private:
  static constexpr size_t kTail = 1024;
  std::vector<FileIdentity> identities_;  // sorted up to sorted_, then in commit order
  size_t sorted_ = 0;
};

}  // namespace nocunzip::unzip32
