// Writes extracted files and directories below the target directory.
//
// Every path is a list of components below the target directory (see entry_path.h). No
// link is followed on the way: a component that is a link, where a directory is needed,
// is an error. A file gets its final name only by Link, which fails with kExists when the
// name is taken and, when told to replace, replaces an existing file in one step; until
// then it has no name (Linux) or a hidden temporary one that is marked for deletion
// (Windows), so that an entry that fails, and even a process that is killed, leaves neither
// a partial file nor a changed existing one.
//
// A file is written, and its attributes set, on any thread (the workers); Link runs on the
// thread that commits. The directories that files go to are opened once and held (a few at
// a time), so a file costs no walk from the target. Implemented once per platform
// (output-linux.cpp, output-win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nocunzip::unzip32 {

using RelativePath = std::vector<std::string>;

// The components joined with "/", for messages.
std::string JoinPath(const RelativePath& components);

struct IoResult {
  // kRefused: the name is one that must not be written (on Windows a name that the system
  // reads as something else, or the short name of another file): the entry fails, not the
  // writing. kExists: Link without replacing found the name taken. kNoDescriptors: the
  // process (or the system) has as many files open as it may: worth trying again once
  // others are closed.
  enum Status { kOk, kFailed, kDiskFull, kLinkInTheWay, kRefused, kExists, kNoDescriptors };
  Status status = kOk;
  std::string message;  // what went wrong, for a person

  bool ok() const { return status == kOk; }
  static IoResult Ok() { return {}; }
  static IoResult Failure(Status status, std::string message) {
    return {status, std::move(message)};
  }
};

// Which file a file is, whatever its names: the device (volume) and the file's number on it.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t file = 0;
  auto operator<=>(const FileIdentity&) const = default;
};

// What is at a path now. Links are reported as such, never followed.
struct ExistingFile {
  bool exists = false;
  bool is_regular = false;
  bool is_directory = false;
  int64_t mtime = 0;  // seconds since 1970 (UTC)
  FileIdentity identity;
};

struct FileAttributes {
  int64_t mtime = 0;          // seconds since 1970 (UTC)
  bool restore_mode = false;  // set the permission bits below (never set-id bits)
  uint32_t mode = 0;          // Unix permission bits
  bool identify = false;      // learn which file it is, for identity()
};

// The descriptors (handles) that a file holds until it is linked: its own and, when its
// directory is not among the few held, its directory's.
inline constexpr unsigned kDescriptorsPerFile = 2;

class OutputFile {
 public:
  virtual ~OutputFile() = default;  // drops the file unless linked
  virtual IoResult Write(const unsigned char* data, size_t size) = 0;
  // Sets time and mode on the open file, before it has its name.
  virtual IoResult SetAttributes(const FileAttributes& attributes) = 0;
  // Which file this is; known once SetAttributes succeeded with `identify`.
  virtual FileIdentity identity() const = 0;
  // Moves the file to its name. Without `replace` an existing file stays and the result is
  // kExists; the file can then be linked again, replacing. After NameAhead it only keeps
  // the name given then.
  virtual IoResult Link(bool replace) = 0;
  // On any thread: gives the file its name when the name is free and its directory exists
  // already, making nothing else and replacing nothing. Until Link the name is taken back
  // when the file is dropped. False, with the file as it was, when it could not: Link then
  // meets the reason again in its turn.
  virtual bool NameAhead() = 0;
  // SetAttributes and Link in one.
  IoResult Commit(const FileAttributes& attributes, bool replace) {
    IoResult set = SetAttributes(attributes);
    return set.ok() ? Link(replace) : set;
  }
};

// Whether the file systems here may make another name meet one of `path`'s components
// (Windows: a "~" may be the short name of another file), so that which of two entries
// takes a name first decides more than the entry order does.
bool NamesMayMeet(const RelativePath& path);

class TargetDirectory {
 public:
  // Opens the directory `path` (empty: the current one), creating it when it is missing.
  static std::unique_ptr<TargetDirectory> Open(const std::string& path, IoResult* result);
  virtual ~TargetDirectory() = default;

  virtual ExistingFile Probe(const RelativePath& path) = 0;
  // Creates the directory `path` and all that lead to it.
  virtual IoResult MakeDirectory(const RelativePath& path) = 0;
  // Starts the file `path`, creating the directories that lead to it. May be called on
  // several threads at once.
  virtual std::unique_ptr<OutputFile> CreateFile(const RelativePath& path, IoResult* result) = 0;
  virtual IoResult SetDirectoryTime(const RelativePath& path, int64_t mtime) = 0;
};

}  // namespace nocunzip::unzip32
