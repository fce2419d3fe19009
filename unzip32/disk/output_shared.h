// What the two implementations of the output (output-linux.cpp, output-win32.cpp) share:
// paths as messages show them, the hidden temporary names, and the few directories that a
// target holds open so that a file costs no walk from the target.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "disk/output.h"

namespace nocunzip::unzip32 {

// The first `count` components of `path`, joined for messages.
std::string PathForMessages(const RelativePath& path, size_t count);

// How many temporary names are tried before creating a file gives up: each is random, so
// a clash means another run (or a leftover of one) uses the same directory, and a hundred
// in a row means something else is wrong.
inline constexpr int kNameAttempts = 100;

// Hidden names beside the final ones (".unzip32-XXXXXXXX.tmp"), for files that are written
// or linked under a temporary name. Safe to use from several threads.
class TemporaryNames {
 public:
  TemporaryNames();
  std::string Next();

 private:
  std::atomic<uint32_t> next_;
};

// The directories held open, the one used last first. The entries of an archive mostly come
// directory by directory, so a few held serve most files. Not locked: its owner locks.
template <typename Held>
class HeldDirectories {
 public:
  // The directories held at most: enough for the directories that an archive's entries
  // alternate between, few enough to leave the descriptors (handles) to the files.
  static constexpr size_t kMost = 16;

  // What is held for the directory of the first `count` components of `path`, now the one
  // used last; null when it is not held.
  Held* Find(const RelativePath& path, size_t count) {
    const auto same = [&](const Entry& held) {
      return held.path.size() == count &&
             std::equal(held.path.begin(), held.path.end(), path.begin());
    };
    auto found = std::find_if(held_.begin(), held_.end(), same);
    if (found == held_.end()) return nullptr;
    if (found != held_.begin()) std::rotate(held_.begin(), found, found + 1);
    return &held_.front().held;
  }

  // Holds `held` for that directory, dropping the one used longest ago when full.
  Held& Hold(const RelativePath& path, size_t count, Held held) {
    if (held_.size() == kMost) held_.pop_back();
    held_.insert(
        held_.begin(),
        Entry{RelativePath(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(count)),
              std::move(held)});
    return held_.front().held;
  }

 private:
  struct Entry {
    RelativePath path;
    Held held;
  };
  std::vector<Entry> held_;
};

}  // namespace nocunzip::unzip32
