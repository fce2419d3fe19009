// The file probe and result files outside Windows. A name that starts with "." is what a
// hidden file is here; "*" and "?" in the last path component match through fnmatch.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/files.h"

namespace nocunzip::platform {
namespace {

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Only "*" and "?" are wildcards; every other character of the name matches itself.
std::string ToFnmatchPattern(const std::string& name) {
  std::string pattern;
  for (char c : name) {
    if (c == '[' || c == ']' || c == '\\') pattern.push_back('\\');
    pattern.push_back(c);
  }
  return pattern;
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { Close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  int Close() {
    int rc = fd_ >= 0 ? close(fd_) : 0;
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

[[noreturn]] void RaiseFileError(int error_number) {
  if (error_number == ENOENT || error_number == ENOTDIR)
    throw ProgramError(kErrPathNotFound, L"NocUnzip", L"Path not found");
  throw ProgramError(kErrPathFileAccess, L"NocUnzip", L"Path/File access error");
}

}  // namespace

bool FindOrdinaryFile(const std::wstring& path) {
  const std::string bytes = ToAnsi(path);
  if (bytes.empty()) return false;
  const size_t slash = bytes.rfind('/');
  const std::string directory =
      slash == std::string::npos ? std::string(".") : bytes.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? bytes : bytes.substr(slash + 1);
  if (name.empty() || name[0] == '.') return false;

  if (name.find_first_of("*?") == std::string::npos) return IsRegularFile(bytes);

  std::unique_ptr<DIR, DirCloser> dir(opendir(directory.c_str()));
  if (!dir) return false;
  const std::string pattern = ToFnmatchPattern(name);
  std::string prefix = directory;
  if (prefix.back() != '/') prefix.push_back('/');
  while (const dirent* entry = readdir(dir.get())) {
    if (entry->d_name[0] == '.') continue;
    if (fnmatch(pattern.c_str(), entry->d_name, 0) != 0) continue;
    if (IsRegularFile(prefix + entry->d_name)) return true;
  }
  return false;
}

void WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  FileDescriptor file(open(ToAnsi(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (file.get() < 0) RaiseFileError(errno);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(file.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) RaiseFileError(n < 0 ? errno : EIO);
    done += static_cast<size_t>(n);
  }
  if (file.Close() != 0) RaiseFileError(errno);
}

}  // namespace nocunzip::platform
