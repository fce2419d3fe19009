// Helpers shared by the fuzz targets: private scratch directories, a snapshot of a
// directory tree to prove that nothing was written outside the allowed place, and a
// loud stop when a target finds a broken promise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

namespace nocunzip::fuzz {

// Prints "fuzz check failed: WHAT" and aborts, so that libFuzzer (or the replay test)
// records the input.
[[noreturn]] void Fail(const std::string& what);

// A new, empty directory under the system's temporary directory, removed with the object.
class ScratchDirectory {
 public:
  explicit ScratchDirectory(std::string_view stem);
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Every path below `root` (root itself excluded), without following links, relative to root.
std::set<std::filesystem::path> ListTree(const std::filesystem::path& root);

// Fails when the tree below `root` holds anything that is neither in `allowed` nor below
// one of the directories `inside`. `what` names the input's situation for the message.
void ExpectOnly(const std::filesystem::path& root, const std::set<std::filesystem::path>& allowed,
                const std::set<std::filesystem::path>& inside, const std::string& what);

// Fails when the tree below `dir` holds a symbolic link or a set-user/group-id file.
void ExpectPlainFiles(const std::filesystem::path& dir);

void WriteFile(const std::filesystem::path& path, const void* data, size_t size);
std::string ReadFile(const std::filesystem::path& path);

// Empties `dir` (which stays) without following links.
void EmptyDirectory(const std::filesystem::path& dir);

}  // namespace nocunzip::fuzz
