#include "read/name_collisions.h"

#include <algorithm>

#include "read/central_directory.h"
#include "read/entry_key.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

using Seen = NameCollisions::Seen;

// The earlier of two entries, either of which may be missing.
const Seen* Earlier(const Seen* a, const Seen* b) {
  if (a == nullptr) return b;
  if (b == nullptr) return a;
  return a->index < b->index ? a : b;
}

// The first of `firsts` (the first two entries of distinct spellings) spelled otherwise
// than `path`.
const Seen* FirstSpelledOtherwise(const std::vector<Seen>& firsts, const std::string& path) {
  for (const Seen& seen : firsts) {
    if (seen.path != path) return &seen;
  }
  return nullptr;
}

void Remember(std::vector<Seen>* firsts, const Seen& entry) {
  if (firsts->size() < 2 && (firsts->empty() || firsts->front().path != entry.path)) {
    firsts->push_back(entry);
  }
}

std::string DottedProblem(const std::string& dotted_name, const std::string& path,
                          const std::string& other_name) {
  return "entry " + dotted_name + " names the path " + path + " of entry " + other_name +
         " for readers that drop or resolve its \"..\" components: which of them an extractor "
         "writes depends on the extractor";
}

const Seen* Present(const std::optional<Seen>& seen) { return seen ? &*seen : nullptr; }

}  // namespace

void NameCollisions::Reserve(const ArchiveEnd& end) {
  const uint64_t room = end.directory_size / zip::kCentralHeaderSize;
  index_.Reserve(static_cast<size_t>(std::min(end.entry_count, room)));
}

void NameCollisions::Add(const Entry& entry) {
  // Names of the target itself ("." and the like) name no path to collide on; they are
  // numbered all the same, so that numbers stay directory indexes.
  const std::string path = NormalisedPath(entry.name);
  index_.Add(entry.index, HashKey(FileSystemKey(path)));
  for (const std::string& other : PathsWithoutDotDot(path)) {
    index_.Add(entry.index, HashKey(FileSystemKey(other)));
  }
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
    if (!CheckPath(entry, path, twins, problem)) return false;
    for (const std::string& other : PathsWithoutDotDot(path)) {
      if (!CheckDotted(entry, other, problem)) return false;
    }
  }
  return true;
}

// Two directory entries of one path make one directory, whichever a reader takes: only
// pairs with a file count.
bool NameCollisions::CheckPath(const Entry& entry, const std::string& path,
                               std::vector<CaseTwin>* twins, std::string* problem) {
  SameKey& same = index_.Confirm(FileSystemKey(path));
  const Seen self{entry.index, entry.is_directory, entry.name, path};
  const auto [first, is_first] = same.first_of_path.try_emplace(path, self);
  if (!is_first && !(first->second.is_directory && entry.is_directory)) {
    *problem = "entries " + first->second.name + " and " + entry.name + " both name the path " +
               path + ": which of them an extractor writes depends on the extractor";
    return false;
  }
  const Seen* dotted = entry.is_directory
                           ? Present(same.dotted_file)
                           : Earlier(Present(same.dotted_file), Present(same.dotted_directory));
  if (dotted != nullptr) {
    *problem = DottedProblem(dotted->name, path, entry.name);
    return false;
  }
  const Seen* twin = FirstSpelledOtherwise(same.files, path);
  if (!entry.is_directory) twin = Earlier(twin, FirstSpelledOtherwise(same.directories, path));
  if (twin != nullptr) twins->push_back({entry.index, twin->name});
  Remember(entry.is_directory ? &same.directories : &same.files, self);
  return true;
}

bool NameCollisions::CheckDotted(const Entry& entry, const std::string& path,
                                 std::string* problem) {
  SameKey& same = index_.Confirm(FileSystemKey(path));
  const Seen* file = same.files.empty() ? nullptr : &same.files.front();
  const Seen* directory = same.directories.empty() ? nullptr : &same.directories.front();
  const Seen* earlier = entry.is_directory ? file : Earlier(file, directory);
  if (earlier != nullptr) {
    *problem = DottedProblem(entry.name, path, earlier->name);
    return false;
  }
  std::optional<Seen>& slot = entry.is_directory ? same.dotted_directory : same.dotted_file;
  if (!slot) slot = Seen{entry.index, entry.is_directory, entry.name, path};
  return true;
}

}  // namespace nocunzip::unzip32
