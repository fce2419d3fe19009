// The output side on Linux: every path is walked from a descriptor of the target
// directory with openat(O_NOFOLLOW | O_DIRECTORY), so a link planted anywhere on the way
// is refused instead of followed.
//
// A file is written without a name (O_TMPFILE) and linked into its directory only once
// it is complete, so that whatever ends the process before, even SIGKILL, the kernel frees
// the file and the directory never shows it. Where the file system refuses unnamed files
// (or /proc, through which they are named, is missing) the file is written under a hidden
// temporary name beside its final one instead, which an interruption leaves behind.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <system_error>
#include <vector>

#include "disk/output.h"
#include "disk/output_shared.h"
#include "unique_handle.h"

namespace nocunzip::unzip32 {
namespace {

struct FdTraits {
  using Value = int;
  static int Invalid() { return -1; }
  static void Close(int fd) { close(fd); }
};
using UniqueFd = UniqueHandle<FdTraits>;

IoResult ErrnoResult(int error, const std::string& what) {
  IoResult result;
  result.status = (error == ENOSPC || error == EDQUOT)   ? IoResult::kDiskFull
                  : (error == EMFILE || error == ENFILE) ? IoResult::kNoDescriptors
                                                         : IoResult::kFailed;
  result.message = what + ": " + std::system_category().message(error);
  return result;
}

// Opens the first `count` components of `path` as directories below `root`, creating
// missing ones when `create` is set.
UniqueFd WalkDirectories(int root, const RelativePath& path, size_t count, bool create,
                         IoResult* result) {
  UniqueFd current(dup(root));
  if (!current.valid()) {
    *result = ErrnoResult(errno, "cannot use the target directory");
    return {};
  }
  for (size_t i = 0; i < count; ++i) {
    const char* name = path[i].c_str();
    int fd = openat(current.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && create) {
      if (mkdirat(current.get(), name, 0777) < 0 && errno != EEXIST) {
        *result = ErrnoResult(errno, "cannot create directory " + PathForMessages(path, i + 1));
        return {};
      }
      fd = openat(current.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) {
      const int error = errno;
      struct stat st {};
      if (fstatat(current.get(), name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
        *result =
            IoResult::Failure(IoResult::kLinkInTheWay,
                              PathForMessages(path, i + 1) + " is a link; links are not followed");
      } else if (error == ENOTDIR || error == ELOOP) {
        *result = IoResult::Failure(IoResult::kFailed,
                                    PathForMessages(path, i + 1) + " is not a directory");
      } else {
        *result = ErrnoResult(error, "cannot open directory " + PathForMessages(path, i + 1));
      }
      return {};
    }
    current.reset(fd);
  }
  *result = IoResult::Ok();
  return current;
}

// Whether an O_TMPFILE open failed because unnamed files are not to be had here (the file
// system or the kernel lacks them), rather than for a reason that a named file shares.
bool RefusesUnnamedFiles(int error) {
  return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// Gives the unnamed file `fd` the name `name` in `directory`, failing with EEXIST when
// anything has that name already. Through /proc it needs no privilege; AT_EMPTY_PATH,
// the second way, needs CAP_DAC_READ_SEARCH on older kernels.
int LinkUnnamed(int fd, int directory, const char* name) {
  char proc_path[40];
  snprintf(proc_path, sizeof proc_path, "/proc/self/fd/%d", fd);
  if (linkat(AT_FDCWD, proc_path, directory, name, AT_SYMLINK_FOLLOW) == 0) return 0;
  if (errno != ENOENT) return -1;
  return linkat(fd, "", directory, name, AT_EMPTY_PATH);
}

// Finds (and creates) the directory that a file goes to, on the thread that links it.
class ParentFinder {
 public:
  virtual std::shared_ptr<const UniqueFd> Parent(const RelativePath& path, bool create,
                                                 IoResult* result) = 0;

 protected:
  ~ParentFinder() = default;
};

// A file lives, until it is linked, in the deepest directory on its way that existed when
// it was started (its home); Link makes the directories still missing, in entry order on
// the committing thread, and moves it there. Both lie on one file system: what is made
// below the home is.
class LinuxOutputFile : public OutputFile {
 public:
  // An empty `temporary_name` means the file is unnamed (O_TMPFILE).
  LinuxOutputFile(ParentFinder& finder, RelativePath path, std::shared_ptr<const UniqueFd> home,
                  std::shared_ptr<TemporaryNames> names, UniqueFd file, std::string temporary_name)
      : finder_(finder),
        path_(std::move(path)),
        home_(std::move(home)),
        names_(std::move(names)),
        file_(std::move(file)),
        temporary_name_(std::move(temporary_name)),
        final_name_(path_.back()),
        shown_name_(JoinPath(path_)) {}

  // An unnamed file vanishes with its descriptor; a named one is removed.
  ~LinuxOutputFile() override {
    if (!committed_ && named_in_ != nullptr) TakeNameBack();
    file_.reset();
    if (!committed_ && !temporary_name_.empty()) {
      unlinkat(home_->get(), temporary_name_.c_str(), 0);
    }
  }

  IoResult Write(const unsigned char* data, size_t size) override {
    while (size > 0) {
      const ssize_t written = write(file_.get(), data, size);
      if (written < 0) {
        if (errno == EINTR) continue;
        return ErrnoResult(errno, "cannot write " + shown_name_);
      }
      data += written;
      size -= static_cast<size_t>(written);
    }
    return IoResult::Ok();
  }

  IoResult SetAttributes(const FileAttributes& attributes) override {
    if (attributes.restore_mode && fchmod(file_.get(), attributes.mode & 0777) < 0) {
      return ErrnoResult(errno, "cannot set the permissions of " + shown_name_);
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1].tv_sec = static_cast<time_t>(attributes.mtime);
    times[1].tv_nsec = 0;
    if (futimens(file_.get(), times) < 0) {
      return ErrnoResult(errno, "cannot set the time of " + shown_name_);
    }
    if (!attributes.identify) return IoResult::Ok();
    struct stat st {};
    if (fstat(file_.get(), &st) < 0) return ErrnoResult(errno, "cannot read back " + shown_name_);
    identity_ = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return IoResult::Ok();
  }

  // Unnamed files only: one under a temporary name is moved in its turn.
  bool NameAhead() override {
    if (committed_ || named_in_ != nullptr || !temporary_name_.empty()) return false;
    IoResult found;
    std::shared_ptr<const UniqueFd> parent = finder_.Parent(path_, false, &found);
    if (parent == nullptr || LinkUnnamed(file_.get(), parent->get(), final_name_.c_str()) < 0) {
      return false;
    }
    named_in_ = std::move(parent);
    return true;
  }

  FileIdentity identity() const override { return identity_; }

  IoResult Link(bool replace) override {
    if (committed_) return IoResult::Failure(IoResult::kFailed, shown_name_ + " is linked already");
    if (named_in_ != nullptr) return Keep();
    IoResult found;
    const std::shared_ptr<const UniqueFd> parent = finder_.Parent(path_, true, &found);
    if (parent == nullptr) return found;
    IoResult placed =
        temporary_name_.empty() ? PlaceUnnamed(parent, replace) : PlaceNamed(parent, replace);
    if (!placed.ok()) return placed;
    return Keep();
  }

 private:
  IoResult Keep() {
    committed_ = true;
    if (close(file_.release()) < 0) return ErrnoResult(errno, "cannot write " + shown_name_);
    return IoResult::Ok();
  }

  // Removes the name that NameAhead gave, while it still names this file.
  void TakeNameBack() {
    struct stat mine {};
    struct stat named {};
    if (fstat(file_.get(), &mine) == 0 &&
        fstatat(named_in_->get(), final_name_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
        mine.st_dev == named.st_dev && mine.st_ino == named.st_ino) {
      unlinkat(named_in_->get(), final_name_.c_str(), 0);
    }
  }

  // A new file takes its final name directly, which fails when anything has it. A
  // replacing one is linked under a temporary name and moved over the old file, so that
  // the old file stays whole until the new one takes its place; only an interruption
  // between link and move leaves something behind: the new file, complete, under the
  // temporary name.
  IoResult PlaceUnnamed(const std::shared_ptr<const UniqueFd>& parent, bool replace) {
    const int dir = parent->get();
    if (!replace) {
      if (LinkUnnamed(file_.get(), dir, final_name_.c_str()) < 0) return PlaceFailure(errno);
      return IoResult::Ok();
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
      std::string name = names_->Next();
      if (LinkUnnamed(file_.get(), dir, name.c_str()) == 0) {
        home_ = parent;
        temporary_name_ = std::move(name);  // removed by the destructor unless moved
        return PlaceNamed(parent, true);
      }
      if (errno != EEXIST) return ErrnoResult(errno, "cannot name the file " + shown_name_);
    }
    return IoResult::Failure(IoResult::kFailed,
                             "cannot find a free temporary name for " + shown_name_);
  }

  IoResult PlaceNamed(const std::shared_ptr<const UniqueFd>& parent, bool replace) {
    const int from = home_->get();
    const int to = parent->get();
    const int moved = replace ? renameat(from, temporary_name_.c_str(), to, final_name_.c_str())
                              : renameat2(from, temporary_name_.c_str(), to, final_name_.c_str(),
                                          RENAME_NOREPLACE);
    return moved < 0 ? PlaceFailure(errno) : IoResult::Ok();
  }

  IoResult PlaceFailure(int error) const {
    if (error == EEXIST)
      return IoResult::Failure(IoResult::kExists, shown_name_ + " exists already");
    if (error == EISDIR || error == ENOTEMPTY)
      return IoResult::Failure(IoResult::kFailed, shown_name_ + " is a directory");
    return ErrnoResult(error, "cannot move the file into place as " + shown_name_);
  }

  ParentFinder& finder_;
  RelativePath path_;
  std::shared_ptr<const UniqueFd> home_;
  std::shared_ptr<TemporaryNames> names_;
  UniqueFd file_;
  std::string temporary_name_;
  std::string final_name_;
  std::string shown_name_;
  FileIdentity identity_;
  std::shared_ptr<const UniqueFd> named_in_;  // the directory that NameAhead named it in
  bool committed_ = false;
};

class LinuxTargetDirectory : public TargetDirectory, public ParentFinder {
 public:
  // Without `unnamed_files` every file is written under a temporary name.
  LinuxTargetDirectory(UniqueFd root, bool unnamed_files)
      : root_(std::move(root)),
        names_(std::make_shared<TemporaryNames>()),
        unnamed_files_(unnamed_files) {}

  ExistingFile Probe(const RelativePath& path) override {
    ExistingFile existing;
    if (path.empty()) return existing;
    IoResult ignored;
    const std::shared_ptr<const UniqueFd> parent = Parent(path, false, &ignored);
    if (parent == nullptr) return existing;
    struct stat st {};
    if (fstatat(parent->get(), path.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) < 0) return existing;
    existing.exists = true;
    existing.is_regular = S_ISREG(st.st_mode);
    existing.is_directory = S_ISDIR(st.st_mode);
    existing.mtime = static_cast<int64_t>(st.st_mtim.tv_sec);
    existing.identity = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
    return existing;
  }

  IoResult MakeDirectory(const RelativePath& path) override {
    IoResult result;
    WalkDirectories(root_.get(), path, path.size(), true, &result);
    return result;
  }

  // The file starts in the deepest directory on its way that exists now (its home), so
  // that no directory is made ahead of the entries before it; Link makes the rest.
  std::unique_ptr<OutputFile> CreateFile(const RelativePath& path, IoResult* result) override {
    if (path.empty()) {
      *result = IoResult::Failure(IoResult::kFailed, "empty file name");
      return nullptr;
    }
    const std::shared_ptr<const UniqueFd> home = Home(path);
    if (home == nullptr) {
      *result = ErrnoResult(errno, "cannot use the target directory");
      return nullptr;
    }
    const std::string shown = PathForMessages(path, path.size());
    if (unnamed_files_.load(std::memory_order_relaxed)) {
      const int fd = openat(home->get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
      if (fd >= 0) {
        *result = IoResult::Ok();
        return std::make_unique<LinuxOutputFile>(*this, path, home, names_, UniqueFd(fd),
                                                 std::string());
      }
      if (!RefusesUnnamedFiles(errno)) {
        *result = ErrnoResult(errno, "cannot create a file for " + shown);
        return nullptr;
      }
      unnamed_files_.store(false, std::memory_order_relaxed);  // no use asking again
    }
    return CreateNamed(home, path, shown, result);
  }

  IoResult SetDirectoryTime(const RelativePath& path, int64_t mtime) override {
    IoResult result;
    UniqueFd directory = WalkDirectories(root_.get(), path, path.size(), false, &result);
    if (!directory.valid()) return result;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1].tv_sec = static_cast<time_t>(mtime);
    times[1].tv_nsec = 0;
    if (futimens(directory.get(), times) < 0) {
      return ErrnoResult(errno, "cannot set the time of " + PathForMessages(path, path.size()));
    }
    return IoResult::Ok();
  }

 private:
  std::unique_ptr<OutputFile> CreateNamed(const std::shared_ptr<const UniqueFd>& home,
                                          const RelativePath& path, const std::string& shown,
                                          IoResult* result) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
      std::string temporary = names_->Next();
      const int fd = openat(home->get(), temporary.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd >= 0) {
        *result = IoResult::Ok();
        return std::make_unique<LinuxOutputFile>(*this, path, home, names_, UniqueFd(fd),
                                                 std::move(temporary));
      }
      if (errno != EEXIST) {
        *result = ErrnoResult(errno, "cannot create a temporary file for " + shown);
        return nullptr;
      }
    }
    *result =
        IoResult::Failure(IoResult::kFailed, "cannot find a free temporary name for " + shown);
    return nullptr;
  }

  // The parent of `path` when it is held or can be opened, else the deepest directory on
  // the way to it that can; null (with errno) only when the target itself cannot be used.
  std::shared_ptr<const UniqueFd> Home(const RelativePath& path) {
    IoResult ignored;
    if (std::shared_ptr<const UniqueFd> parent = Parent(path, false, &ignored)) return parent;
    UniqueFd current(dup(root_.get()));
    if (!current.valid()) return nullptr;
    for (size_t i = 0; i + 1 < path.size(); ++i) {
      const int fd =
          openat(current.get(), path[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (fd < 0) break;
      current.reset(fd);
    }
    return std::make_shared<const UniqueFd>(std::move(current));
  }

  // The directory that holds `path`: one of the few held open, or walked from the root
  // once and then held. Safe on several threads.
  std::shared_ptr<const UniqueFd> Parent(const RelativePath& path, bool create,
                                         IoResult* result) override {
    const size_t count = path.size() - 1;
    std::lock_guard<std::mutex> lock(parent_mutex_);
    if (auto* held = held_.Find(path, count)) {
      *result = IoResult::Ok();
      return *held;
    }
    UniqueFd walked = WalkDirectories(root_.get(), path, count, create, result);
    if (!walked.valid()) return nullptr;
    return held_.Hold(path, count, std::make_shared<const UniqueFd>(std::move(walked)));
  }

  UniqueFd root_;
  std::shared_ptr<TemporaryNames> names_;
  std::atomic<bool> unnamed_files_;
  std::mutex parent_mutex_;
  HeldDirectories<std::shared_ptr<const UniqueFd>> held_;
};

// mkdir -p for the target directory itself, which the caller names and may reach through
// links of its own.
IoResult CreateTarget(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (!prefix.empty() && mkdir(prefix.c_str(), 0777) < 0 && errno != EEXIST) {
      return ErrnoResult(errno, "cannot create the target directory " + prefix);
    }
    if (slash == std::string::npos) break;
  }
  return IoResult::Ok();
}

}  // namespace

bool NamesMayMeet(const RelativePath&) { return false; }

std::unique_ptr<TargetDirectory> TargetDirectory::Open(const std::string& path, IoResult* result) {
  const std::string where = path.empty() ? "." : path;
  int fd = open(where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    *result = CreateTarget(where);
    if (!result->ok()) return nullptr;
    fd = open(where.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  }
  if (fd < 0) {
    *result = ErrnoResult(errno, "cannot open the target directory " + where);
    return nullptr;
  }
  *result = IoResult::Ok();
  // Unnamed files are named through /proc.
  const bool unnamed_files = access("/proc/self/fd", X_OK) == 0;
  return std::make_unique<LinuxTargetDirectory>(UniqueFd(fd), unnamed_files);
}

}  // namespace nocunzip::unzip32
