// Finds the items of equal keys among any number of them, exactly, with 16 bytes an item.
//
// Two passes over the same items in the same order. The first hands over a 64-bit hash of
// each key (Add); Seal sorts them and keeps only the items whose hash another item shares.
// The second pass hands over the full key of just those items (Confirm), which are then
// compared exactly: a shared hash alone never counts as a match. Memory beyond the 16 bytes
// an item of the first pass: the keys of the items whose hashes meet, nearly always none.
//
// The key of the hash may be coarser than the key compared (a case-folded path hashed, its
// spelling compared): Confirm then answers with every earlier item of the same key, for the
// caller to tell apart.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace nocunzip::unzip32 {

class DuplicateIndex {
 public:
  // Room for `count` items, where their number is known ahead.
  void Reserve(size_t count) { hashes_.reserve(count); }
  // The next item's hash; items are numbered 0, 1, 2, ... in the order of Add.
  void Add(uint64_t hash);
  // Ends the first pass. False when no two hashes meet: then no second pass is needed.
  bool Seal();
  // Whether the second pass must hand over the key of `item`.
  bool IsSuspect(uint64_t item) const;

  struct Earlier {
    uint64_t item = 0;
    std::string detail;  // what the caller gave with it, e.g. its name for messages
  };
  // Second pass, in the order of the first, for the suspects only: the earlier items whose
  // key equals `key` (empty when none), before this one is added under it with `detail`.
  // The reference holds until the next call.
  const std::vector<Earlier>& Confirm(uint64_t item, const std::string& key, std::string detail);

 private:
  std::vector<std::pair<uint64_t, uint64_t>> hashes_;  // (hash, item)
  std::vector<uint64_t> suspects_;                     // sorted
  std::unordered_map<std::string, std::vector<Earlier>> confirmed_;
  std::vector<Earlier> answer_;
};

}  // namespace nocunzip::unzip32
