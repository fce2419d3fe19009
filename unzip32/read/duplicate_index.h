// Finds the items of equal keys among any number of them, exactly, with 16 bytes an item.
//
// Two passes over the same items in the same order. The first hands over a 64-bit hash of
// each key (Add; an item may have several keys); Seal sorts them once and keeps only the
// items whose hash another one shares. The second pass hands over the full keys of just
// those items (Confirm), which are then compared exactly: a shared hash alone never counts
// as a match. Memory beyond the 16 bytes a key of the first pass: the suspects' numbers
// and one summary for each distinct key among them, nearly always none.
//
// The caller keeps in the summary of a key what it needs of the items given under it so
// far (the first of each kind, say) rather than all of them, so that each item is held
// against the earlier ones in constant time: the whole check stays O(n log n) however many
// items share a key.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace nocunzip::unzip32 {

// The first pass: which items have a hash that another item shares.
class HashMeetings {
 public:
  // Room for `count` keys, where their number is known ahead.
  void Reserve(size_t count) { hashes_.reserve(count); }
  // A hash of one key of `item`; items are numbered by the caller.
  void Add(uint64_t item, uint64_t hash) { hashes_.emplace_back(hash, item); }
  // Ends the first pass. False when no two hashes meet: then no second pass is needed.
  bool Seal();
  // Whether the second pass must hand over the keys of `item`.
  bool IsSuspect(uint64_t item) const;

 private:
  std::vector<std::pair<uint64_t, uint64_t>> hashes_;  // (hash, item)
  std::vector<uint64_t> suspects_;                     // sorted, each once
};

template <typename Summary>
class DuplicateIndex : public HashMeetings {
 public:
  // Second pass, in the order of the first, for the suspects only: the summary of the
  // items given under `key` so far, made empty on the key's first call.
  Summary& Confirm(const std::string& key) { return confirmed_[key]; }

 private:
  std::unordered_map<std::string, Summary> confirmed_;
};

}  // namespace nocunzip::unzip32
