// Writes extracted files and directories below the target directory.
//
// Every path is a list of components below the target directory (see entry_path.h). No
// link is followed on the way: a component that is a link, where a directory is needed,
// is an error. A file gets its final name only by Commit, which replaces an existing file
// in one step; until then it has no name (Linux) or a hidden temporary one that is marked
// for deletion (Windows), so that an entry that fails, and even a process that is killed,
// leaves neither a partial file nor a changed existing one. Implemented once per platform
// (output-linux.cpp, output-win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nocunzip::unzip32 {

using RelativePath = std::vector<std::string>;

struct IoResult {
  // kRefused: the name is one that must not be written (on Windows a name that the system
  // reads as something else, or the short name of another file): the entry fails, not the
  // writing.
  enum Status { kOk, kFailed, kDiskFull, kLinkInTheWay, kRefused };
  Status status = kOk;
  std::string message;  // what went wrong, for a person

  bool ok() const { return status == kOk; }
  static IoResult Ok() { return {}; }
  static IoResult Failure(Status status, std::string message) {
    return {status, std::move(message)};
  }
};

// What is at a path now. Links are reported as such, never followed.
struct ExistingFile {
  bool exists = false;
  bool is_regular = false;
  bool is_directory = false;
  int64_t mtime = 0;  // seconds since 1970 (UTC)
};

struct FileAttributes {
  int64_t mtime = 0;          // seconds since 1970 (UTC)
  bool restore_mode = false;  // set the permission bits below (never set-id bits)
  uint32_t mode = 0;          // Unix permission bits
};

class OutputFile {
 public:
  virtual ~OutputFile() = default;  // drops the file unless committed
  virtual IoResult Write(const unsigned char* data, size_t size) = 0;
  // Whether CopyFrom is there: appending bytes of another file inside the system, without
  // their passing through this process.
  virtual bool CanCopyFrom() const { return false; }
  // Appends `length` bytes of the file `path` from `offset`. Touches nothing but this file,
  // so it may run on another thread than the rest of the extraction.
  virtual IoResult CopyFrom(const std::string& /*path*/, uint64_t /*offset*/, uint64_t /*length*/) {
    return {IoResult::kFailed, "cannot copy from another file"};
  }
  // Sets time and mode and moves the file to its name. Without `replace` an existing file
  // stays and the commit fails.
  virtual IoResult Commit(const FileAttributes& attributes, bool replace) = 0;
};

class TargetDirectory {
 public:
  // Opens the directory `path` (empty: the current one), creating it when it is missing.
  static std::unique_ptr<TargetDirectory> Open(const std::string& path, IoResult* result);
  virtual ~TargetDirectory() = default;

  virtual ExistingFile Probe(const RelativePath& path) = 0;
  // Creates the directory `path` and all that lead to it.
  virtual IoResult MakeDirectory(const RelativePath& path) = 0;
  // Starts the file `path`, creating the directories that lead to it.
  virtual std::unique_ptr<OutputFile> CreateFile(const RelativePath& path, IoResult* result) = 0;
  virtual IoResult SetDirectoryTime(const RelativePath& path, int64_t mtime) = 0;
};

}  // namespace nocunzip::unzip32
