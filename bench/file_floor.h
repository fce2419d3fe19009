// Writes a list of files from memory with the calls that the unzip library makes for each
// file on Linux, so that the kernel's share of extracting many files can be measured apart
// from decoding. Per file, in a directory that is made and opened once and held:
//
//   openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC)   an unnamed file
//   write                                                      the file's bytes
//   futimens                                                   its modification time
//   linkat("/proc/self/fd/N", directory, name, AT_SYMLINK_FOLLOW)   its name
//   close
//
// Several threads share the files through one counter, each taking the next file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bench/file_list.h"
#include "unzip32/unique_handle.h"

namespace nocunzip::bench {

// The modification time that every file gets: the benchmark archives' 2024-05-17 12:30.
inline constexpr int64_t kFileFloorMtime = 1715949000;

class FileFloor {
 public:
  // Makes `root` and every directory that `files` needs below it, opens each directory
  // once and fills the buffer that the files are written from: all that is not timed.
  // Returns null with `error` set when a directory cannot be made or opened.
  static std::unique_ptr<FileFloor> Prepare(const std::string& root,
                                            const std::vector<FileToWrite>& files,
                                            std::string* error);

  // Writes every file on `threads` threads (at least one: the calling thread works too).
  // Returns false with the first failure in `error`; a file that exists already is one.
  bool WriteAll(unsigned threads, std::string* error) const;

  // Whether the output holds the listed files, each with its size, and nothing else.
  bool Verify(std::string* error) const;

  size_t file_count() const { return files_.size(); }
  uint64_t total_bytes() const;

 private:
  struct FdTraits {
    using Value = int;
    static int Invalid() { return -1; }
    static void Close(int fd);
  };
  using UniqueFd = unzip32::UniqueHandle<FdTraits>;

  // A file to write: the directory it goes to (an index into directories_) and its name
  // there.
  struct PlacedFile {
    size_t directory = 0;
    std::string name;
    std::string shown;  // the path in the list, for messages
    uint64_t size = 0;
  };

  explicit FileFloor(std::string root) : root_(std::move(root)) {}
  bool OpenDirectories(const std::vector<FileToWrite>& files, std::string* error);
  // Writes one file; returns what went wrong, or an empty text.
  std::string WriteOne(const PlacedFile& file) const;
  std::string Place(const PlacedFile& file, UniqueFd fd) const;

  std::string root_;
  std::vector<UniqueFd> directories_;
  std::vector<PlacedFile> files_;
  std::vector<unsigned char> data_;
};

}  // namespace nocunzip::bench
