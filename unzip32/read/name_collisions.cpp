#include "read/name_collisions.h"

#include <algorithm>

#include "read/central_directory.h"
#include "read/entry_key.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

// What the second pass keeps of an earlier entry: whether it is a directory, and its name.
std::string Detail(const Entry& entry) { return (entry.is_directory ? "d" : "f") + entry.name; }

}  // namespace

void NameCollisions::Reserve(const ArchiveEnd& end) {
  const uint64_t room = end.directory_size / zip::kCentralHeaderSize;
  index_.Reserve(static_cast<size_t>(std::min(end.entry_count, room)));
}

void NameCollisions::Add(const Entry& entry) {
  // Names of the target itself ("." and the like) name no path to collide on; they are
  // numbered all the same, so that numbers stay directory indexes.
  index_.Add(HashKey(FileSystemKey(NormalisedPath(entry.name))));
}

bool NameCollisions::Check(ByteReader& reader, const ArchiveEnd& end, std::vector<CaseTwin>* twins,
                           std::string* problem) {
  if (!index_.Seal()) return true;
  CentralDirectory directory(reader, end);
  Entry entry;
  std::string ignored;
  while (directory.Next(&entry, &ignored) == CentralDirectory::Step::kEntry) {
    if (!index_.IsSuspect(entry.index)) continue;
    const std::string path = NormalisedPath(entry.name);
    if (path.empty()) continue;
    const auto& earlier = index_.Confirm(entry.index, FileSystemKey(path), Detail(entry));
    const DuplicateIndex::Earlier* twin = nullptr;
    for (const DuplicateIndex::Earlier& other : earlier) {
      const std::string other_name = other.detail.substr(1);
      const bool both_directories = entry.is_directory && other.detail[0] == 'd';
      // Two directory entries of one path make one directory, whichever a reader takes.
      if (both_directories) continue;
      if (NormalisedPath(other_name) != path) {
        if (twin == nullptr) twin = &other;
        continue;
      }
      *problem = "entries " + other_name + " and " + entry.name + " both name the path " + path +
                 ": which of them an extractor writes depends on the extractor";
      return false;
    }
    if (twin != nullptr) twins->push_back({entry.index, twin->detail.substr(1)});
  }
  return true;
}

}  // namespace nocunzip::unzip32
