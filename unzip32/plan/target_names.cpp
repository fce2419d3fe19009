#include "plan/target_names.h"

#include <algorithm>

#include "disk/output.h"
#include "read/entry_name.h"

namespace nocunzip::unzip32 {
namespace {

// Marks a directory on the way, which meets only files.
constexpr uint64_t kDirectory = UINT64_MAX;

}  // namespace

TargetNames::TargetNames(const ExtractOptions& options) {
  rules_.honor_directories = options.honor_directories;
  rules_.space_to_underscore = options.space_to_underscore;
}

void TargetNames::AddKey(const std::vector<std::string>& components, size_t count, uint64_t item) {
  std::string joined;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) joined += '/';
    joined += components[i];
  }
  keys_.emplace_back(HashKey(FileSystemKey(joined)), item);
}

void TargetNames::Add(const Entry& entry) {
  if (all_shared_) return;
  const EntryPath path = MapEntryName(entry.name, rules_);
  if (path.problem != NameProblem::kNone || path.components.empty()) return;
  const std::vector<std::string>& components = path.components;
  if (NamesMayMeet(components)) {
    all_shared_ = true;
    keys_ = {};
    return;
  }
  const bool directory = entry.is_directory || path.is_directory;
  const size_t directories = directory ? components.size() : components.size() - 1;
  size_t common = 0;
  while (common < directories && common < last_directory_.size() &&
         last_directory_[common] == components[common]) {
    ++common;
  }
  for (size_t count = common + 1; count <= directories; ++count) {
    AddKey(components, count, kDirectory);
  }
  last_directory_.assign(components.begin(),
                         components.begin() + static_cast<std::ptrdiff_t>(directories));
  if (!directory) AddKey(components, components.size(), entry.index);
}

void TargetNames::Seal() {
  std::sort(keys_.begin(), keys_.end());
  for (auto begin = keys_.begin(); begin != keys_.end();) {
    const auto end = std::find_if(begin, keys_.end(),
                                  [&](const auto& key) { return key.first != begin->first; });
    if (end - begin > 1) {
      for (auto key = begin; key != end; ++key) {
        if (key->second != kDirectory) shared_.push_back(key->second);
      }
    }
    begin = end;
  }
  std::sort(shared_.begin(), shared_.end());
  keys_ = {};
  last_directory_ = {};
}

bool TargetNames::Shared(uint64_t index) const {
  return all_shared_ || std::binary_search(shared_.begin(), shared_.end(), index);
}

}  // namespace nocunzip::unzip32
