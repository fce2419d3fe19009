#include <windows.h>

#include <algorithm>

#include "read/archive_file.h"
#include "unique_handle.h"
#include "win32_text.h"

namespace nocunzip::unzip32 {
namespace {

struct FileHandleTraits {
  using Value = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};

}  // namespace

struct ArchiveFile::Handle {
  UniqueHandle<FileHandleTraits> file;
};

ArchiveFile::ArchiveFile(std::unique_ptr<Handle> handle, uint64_t size)
    : handle_(std::move(handle)), size_(size) {}
ArchiveFile::~ArchiveFile() = default;

std::unique_ptr<ArchiveFile> ArchiveFile::Open(const std::string& path, std::string* error) {
  auto handle = std::make_unique<Handle>();
  handle->file.reset(CreateFileW(WidenUtf8(path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (!handle->file.valid() || !GetFileSizeEx(handle->file.get(), &size)) {
    *error = SystemMessage(GetLastError());
    return nullptr;
  }
  return std::unique_ptr<ArchiveFile>(
      new ArchiveFile(std::move(handle), static_cast<uint64_t>(size.QuadPart)));
}

bool ArchiveFile::SizeUnchanged(uint64_t* now) const {
  LARGE_INTEGER size{};
  *now = GetFileSizeEx(handle_->file.get(), &size) ? static_cast<uint64_t>(size.QuadPart) : size_;
  return *now == size_;
}

bool ArchiveFile::ReadAt(uint64_t offset, void* buffer, size_t length) {
  if (offset > size_ || length > size_ - offset) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  while (length > 0) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    // ReadFile takes a DWORD length: pieces of 1 GiB stay well inside it on 64-bit builds.
    const auto piece = static_cast<DWORD>(std::min<size_t>(length, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(handle_->file.get(), out, piece, &got, &at) || got == 0) return false;
    out += got;
    offset += got;
    length -= got;
  }
  return true;
}

}  // namespace nocunzip::unzip32
