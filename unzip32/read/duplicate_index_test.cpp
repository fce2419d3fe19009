// The index that finds items of equal keys, as the check of names that stand for one path uses it.
#include "read/duplicate_index.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "read/entry_name.h"

namespace nocunzip::unzip32 {
namespace {

// Items given with their hashes, then their keys; `hash_of` may map distinct keys to one
// hash, as a weak or coarse hash would. The summary of a key is its first item: the pairs
// are (first item of the key, later item).
std::vector<std::pair<uint64_t, uint64_t>> Duplicates(const std::vector<std::string>& keys,
                                                      uint64_t (*hash_of)(std::string_view)) {
  DuplicateIndex<std::vector<uint64_t>> index;
  for (uint64_t item = 0; item < keys.size(); ++item) index.Add(item, hash_of(keys[item]));
  std::vector<std::pair<uint64_t, uint64_t>> pairs;
  if (!index.Seal()) return pairs;
  for (uint64_t item = 0; item < keys.size(); ++item) {
    if (!index.IsSuspect(item)) continue;
    std::vector<uint64_t>& first = index.Confirm(keys[item]);
    if (!first.empty()) pairs.emplace_back(first.front(), item);
    if (first.empty()) first.push_back(item);
  }
  return pairs;
}

TEST(DuplicateIndex, FindsEqualKeysExactlyWhateverTheHashes) {
  using Pairs = std::vector<std::pair<uint64_t, uint64_t>>;
  const std::vector<std::string> keys = {"a", "b", "c", "a", "d", "b", "a"};
  EXPECT_EQ(Duplicates(keys, HashKey), (Pairs{{0, 3}, {1, 5}, {0, 6}}));
  // Every hash equal: only equal keys match all the same.
  EXPECT_EQ(Duplicates(keys, [](std::string_view) { return uint64_t{7}; }),
            (Pairs{{0, 3}, {1, 5}, {0, 6}}));
  EXPECT_EQ(Duplicates({"x", "y", "z"}, [](std::string_view) { return uint64_t{7}; }), Pairs{});
  EXPECT_EQ(Duplicates({}, HashKey), Pairs{});
}

TEST(DuplicateIndex, AsksOnlyForTheKeysWhoseHashesMeet) {
  HashMeetings index;
  uint64_t item = 0;
  for (const uint64_t hash : {5, 1, 5, 2, 3, 2}) index.Add(item++, hash);
  index.Add(3, 9);  // a second key of one item, whose hash meets only its first one's
  index.Add(3, 2);
  ASSERT_TRUE(index.Seal());
  std::vector<uint64_t> suspects;
  for (item = 0; item < 6; ++item) {
    if (index.IsSuspect(item)) suspects.push_back(item);
  }
  EXPECT_EQ(suspects, (std::vector<uint64_t>{0, 2, 3, 5}));
}

}  // namespace
}  // namespace nocunzip::unzip32
