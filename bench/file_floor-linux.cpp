#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>

#include "bench/file_floor.h"

namespace nocunzip::bench {
namespace {

namespace fs = std::filesystem;

// The files are written from one buffer of at most this size, in pieces of it.
constexpr uint64_t kLargestWrite = 1u << 20;

std::string SystemError(const std::string& what, int error) {
  return what + ": " + std::system_category().message(error);
}

}  // namespace

void FileFloor::FdTraits::Close(int fd) { close(fd); }

std::unique_ptr<FileFloor> FileFloor::Prepare(const std::string& root,
                                              const std::vector<FileToWrite>& files,
                                              std::string* error) {
  std::unique_ptr<FileFloor> floor(new FileFloor(root));
  if (!floor->OpenDirectories(files, error)) return nullptr;
  uint64_t largest = 1;
  for (const FileToWrite& file : files) largest = std::max(largest, file.size);
  floor->data_.resize(static_cast<size_t>(std::min(largest, kLargestWrite)));
  // Letters rather than zeros, which a file system could store as holes.
  for (size_t i = 0; i < floor->data_.size(); ++i) {
    floor->data_[i] = static_cast<unsigned char>('a' + (i * 7 + i / 61) % 26);
  }
  return floor;
}

bool FileFloor::OpenDirectories(const std::vector<FileToWrite>& files, std::string* error) {
  std::error_code made;
  if (!fs::create_directories(root_, made) && made) {
    *error = "cannot make the output directory " + root_ + ": " + made.message();
    return false;
  }
  std::unordered_map<std::string, size_t> index_of;
  for (const FileToWrite& file : files) {
    const size_t slash = file.path.rfind('/');
    const std::string directory = slash == std::string::npos ? "" : file.path.substr(0, slash);
    auto [where, added] = index_of.try_emplace(directory, directories_.size());
    if (added) {
      const fs::path path = fs::path(root_) / directory;
      fs::create_directories(path, made);  // a failure shows in the open
      const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (fd < 0) {
        *error = SystemError("cannot open the directory " + path.string(), errno);
        return false;
      }
      directories_.emplace_back(fd);
    }
    files_.push_back({where->second, file.path.substr(slash + 1), file.path, file.size});
  }
  return true;
}

uint64_t FileFloor::total_bytes() const {
  uint64_t total = 0;
  for (const PlacedFile& file : files_) total += file.size;
  return total;
}

bool FileFloor::WriteAll(unsigned threads, std::string* error) const {
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex first_failure_mutex;
  std::string first_failure;
  auto work = [&] {
    while (!failed.load(std::memory_order_relaxed)) {
      const size_t index = next.fetch_add(1, std::memory_order_relaxed);
      if (index >= files_.size()) return;
      std::string failure = WriteOne(files_[index]);
      if (!failure.empty()) {
        std::lock_guard<std::mutex> lock(first_failure_mutex);
        if (first_failure.empty()) first_failure = std::move(failure);
        failed.store(true, std::memory_order_relaxed);
      }
    }
  };
  {
    std::vector<std::jthread> helpers;
    for (unsigned i = 1; i < threads; ++i) helpers.emplace_back(work);
    work();
  }  // the helpers are joined here
  if (failed.load()) *error = first_failure;
  return !failed.load();
}

std::string FileFloor::WriteOne(const PlacedFile& file) const {
  UniqueFd fd(
      openat(directories_[file.directory].get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  if (!fd.valid()) return SystemError("cannot create an unnamed file for " + file.shown, errno);
  for (uint64_t left = file.size; left > 0;) {
    const size_t piece = static_cast<size_t>(std::min<uint64_t>(left, data_.size()));
    const ssize_t written = write(fd.get(), data_.data(), piece);
    if (written < 0) {
      if (errno == EINTR) continue;
      return SystemError("cannot write " + file.shown, errno);
    }
    if (written == 0) return "cannot write " + file.shown + ": nothing was written";
    left -= static_cast<uint64_t>(written);
  }
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_NOW;
  times[1].tv_sec = static_cast<time_t>(kFileFloorMtime);
  times[1].tv_nsec = 0;
  if (futimens(fd.get(), times) < 0)
    return SystemError("cannot set the time of " + file.shown, errno);
  return Place(file, std::move(fd));
}

// Names the unnamed file `fd` and closes it.
std::string FileFloor::Place(const PlacedFile& file, UniqueFd fd) const {
  char proc_path[40];
  snprintf(proc_path, sizeof proc_path, "/proc/self/fd/%d", fd.get());
  if (linkat(AT_FDCWD, proc_path, directories_[file.directory].get(), file.name.c_str(),
             AT_SYMLINK_FOLLOW) < 0) {
    return SystemError("cannot name " + file.shown, errno);
  }
  if (close(fd.release()) < 0) return SystemError("cannot write " + file.shown, errno);
  return {};
}

bool FileFloor::Verify(std::string* error) const {
  for (const PlacedFile& file : files_) {
    struct stat st {};
    if (fstatat(directories_[file.directory].get(), file.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) <
        0) {
      *error = SystemError("cannot find " + file.shown, errno);
      return false;
    }
    if (!S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) != file.size) {
      *error = file.shown + " is not a file of " + std::to_string(file.size) + " bytes";
      return false;
    }
  }
  size_t found = 0;
  std::error_code walked;
  for (fs::recursive_directory_iterator it(root_, walked), end; !walked && it != end;
       it.increment(walked)) {
    if (it->symlink_status(walked).type() != fs::file_type::directory) ++found;
  }
  if (walked) {
    *error = "cannot read the output directory " + root_ + ": " + walked.message();
    return false;
  }
  if (found != files_.size()) {
    *error = "the output holds " + std::to_string(found) + " files, the list " +
             std::to_string(files_.size());
    return false;
  }
  return true;
}

}  // namespace nocunzip::bench
