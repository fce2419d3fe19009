#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "read/archive_file.h"
#include "unique_handle.h"

namespace nocunzip::unzip32 {
namespace {

struct DescriptorTraits {
  using Value = int;
  static int Invalid() { return -1; }
  static void Close(int fd) { close(fd); }
};

}  // namespace

struct ArchiveFile::Handle {
  UniqueHandle<DescriptorTraits> fd;
};

ArchiveFile::ArchiveFile(std::unique_ptr<Handle> handle, uint64_t size)
    : handle_(std::move(handle)), size_(size) {}
ArchiveFile::~ArchiveFile() = default;

std::unique_ptr<ArchiveFile> ArchiveFile::Open(const std::string& path, std::string* error) {
  auto handle = std::make_unique<Handle>();
  handle->fd.reset(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat status {};
  if (!handle->fd.valid() || fstat(handle->fd.get(), &status) != 0) {
    *error = std::strerror(errno);
    return nullptr;
  }
  if (!S_ISREG(status.st_mode)) {
    *error = "it is not a regular file";
    return nullptr;
  }
  return std::unique_ptr<ArchiveFile>(
      new ArchiveFile(std::move(handle), static_cast<uint64_t>(status.st_size)));
}

bool ArchiveFile::SizeUnchanged(uint64_t* now) const {
  struct stat status {};
  *now = fstat(handle_->fd.get(), &status) == 0 ? static_cast<uint64_t>(status.st_size) : size_;
  return *now == size_;
}

bool ArchiveFile::ReadAt(uint64_t offset, void* buffer, size_t length) {
  if (offset > size_ || length > size_ - offset) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  while (length > 0) {
    const ssize_t got = pread(handle_->fd.get(), out, length, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    out += got;
    offset += static_cast<uint64_t>(got);
    length -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace nocunzip::unzip32
