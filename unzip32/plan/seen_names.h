// The names written so far in one extraction, so that an entry that meets a file of its own
// name can tell whether an earlier entry of the archive wrote it ("two entries are named
// X") or it was on disk before. A Bloom filter of fixed size: memory stays the same whatever
// the number of entries, and a rare false match only changes the words of a message.
#pragma once

#include <bitset>
#include <memory>
#include <string_view>

namespace nocunzip::unzip32 {

class SeenNames {
 public:
  SeenNames() : bits_(std::make_unique<std::bitset<kBits>>()) {}
  void Add(std::string_view name);
  // False when `name` was certainly not added; true when it most likely was.
  bool MayContain(std::string_view name) const;

 private:
  static constexpr size_t kBits = size_t{1} << 20;  // 128 KiB
  std::unique_ptr<std::bitset<kBits>> bits_;
};

}  // namespace nocunzip::unzip32
