// The file probe and result files on Windows: FindFirstFileW for the probe, CreateFileW for
// the result files.
#include <windows.h>

#include <string>

#include "platform/error.h"
#include "platform/files.h"

namespace nocunzip::platform {
namespace {

// The volume-label bit of the old directory entries; FindFirstFileW may still report it.
constexpr DWORD kVolumeLabel = 0x8;
constexpr DWORD kNotOrdinary = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DEVICE | kVolumeLabel;

// Switches the system's error dialogs (a drive that is not ready, a missing disk) off for
// this thread while it lives.
class QuietErrors {
 public:
  QuietErrors()
      : set_(SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_)) {}
  ~QuietErrors() {
    if (set_) SetThreadErrorMode(previous_, nullptr);
  }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  DWORD previous_ = 0;
  bool set_;
};

class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  ~FindHandle() {
    if (valid()) FindClose(handle_);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

class FileHandle {
 public:
  explicit FileHandle(HANDLE handle) : handle_(handle) {}
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return handle_; }
  bool Close() {
    const bool ok = !valid() || CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE handle_;
};

bool IsOrdinary(const WIN32_FIND_DATAW& entry) {
  if (entry.dwFileAttributes & kNotOrdinary) return false;
  const std::wstring name(entry.cFileName);
  return name.find_first_not_of(L' ') != std::wstring::npos;
}

[[noreturn]] void RaiseFileError(DWORD code) {
  if (code == ERROR_PATH_NOT_FOUND || code == ERROR_BAD_NETPATH || code == ERROR_INVALID_DRIVE)
    throw ProgramError(kErrPathNotFound, L"NocUnzip", L"Path not found");
  throw ProgramError(kErrPathFileAccess, L"NocUnzip", L"Path/File access error");
}

}  // namespace

bool FindOrdinaryFile(const std::wstring& path) {
  if (path.find_first_not_of(L' ') == std::wstring::npos) return false;
  QuietErrors quiet;
  WIN32_FIND_DATAW entry;
  FindHandle find(FindFirstFileW(path.c_str(), &entry));
  if (!find.valid()) return false;
  do {
    if (IsOrdinary(entry)) return true;
  } while (FindNextFileW(find.get(), &entry));
  return false;
}

void WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) RaiseFileError(GetLastError());
  size_t done = 0;
  while (done < bytes.size()) {
    const size_t left = bytes.size() - done;
    const DWORD chunk = static_cast<DWORD>(left < (1u << 20) ? left : (1u << 20));
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0)
      RaiseFileError(GetLastError());
    done += written;
  }
  if (!file.Close()) RaiseFileError(GetLastError());
}

}  // namespace nocunzip::platform
