// Which entries of a run land on a name in the target that another entry of the run lands
// on too: as its file, or as a directory on the way to another entry's file. Only such an
// entry's fate at its turn depends on what an earlier entry of the run put there, so every
// other file may be named by a worker as soon as it is done, when its name is free, and
// needs no identity kept for "two entries are named X".
//
// One pass over the selected entries, in the first pass over the archive: a 64-bit hash of
// each file's path and of each directory on the way (16 bytes each; a directory shared with
// the entry before is not added again), compared once all are in. A shared hash counts as a
// shared name: a false meeting costs only speed, a real one is never missed.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "options.h"
#include "plan/entry_path.h"
#include "read/entry.h"

namespace nocunzip::unzip32 {

class TargetNames {
 public:
  TargetNames() = default;
  explicit TargetNames(const ExtractOptions& options);

  // Each selected entry, in entry order.
  void Add(const Entry& entry);
  // After the last Add.
  void Seal();
  // Whether another entry of the run may land on the name of entry `index`, or (where the
  // file system can make names meet otherwise, see NamesMayMeet) any entry may.
  bool Shared(uint64_t index) const;

 private:
  void AddKey(const std::vector<std::string>& components, size_t count, uint64_t item);

  PathRules rules_;
  bool all_shared_ = false;
  std::vector<std::pair<uint64_t, uint64_t>> keys_;  // (hash, entry index or kDirectory)
  std::vector<std::string> last_directory_;          // of the entry added before
  std::vector<uint64_t> shared_;                     // sorted, once sealed
};

}  // namespace nocunzip::unzip32
