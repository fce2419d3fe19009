// The output side on Windows. The target directory and the entry components are UTF-8 and
// become wide names, so that every name that the archive holds can be written. Paths are
// handed to the system as extended-length paths (\\?\...), which it takes literally: no
// component can be reinterpreted on the way.
//
// Every directory on the way is checked before it is used: a reparse point (a symbolic
// link or junction) is refused instead of followed. Names that Windows would read as
// something else than a plain file name (device names such as CON or NUL, alternate data
// streams after ":", trailing dots and blanks, reserved characters; see entry_path-win32.cpp)
// are refused too, and so is a name that is the 8.3 short name of another existing file: it
// would let one entry write into another's file.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <vector>

#include "disk/output.h"
#include "disk/output_shared.h"
#include "plan/entry_path.h"
#include "unique_handle.h"
#include "win32_text.h"

namespace nocunzip::unzip32 {
namespace {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

IoResult SystemFailure(DWORD code, const std::string& what) {
  const bool full = code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL;
  const IoResult::Status status = full                                ? IoResult::kDiskFull
                                  : code == ERROR_TOO_MANY_OPEN_FILES ? IoResult::kNoDescriptors
                                                                      : IoResult::kFailed;
  return IoResult::Failure(status, what + ": " + SystemMessage(code));
}

// The extended-length form of an absolute path.
std::wstring ExtendedPath(const std::wstring& full) {
  if (full.rfind(L"\\\\?\\", 0) == 0) return full;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

FILETIME ToFileTime(int64_t seconds_since_1970) {
  int64_t seconds = seconds_since_1970 + kSecondsFrom1601To1970;
  if (seconds < 0) seconds = 0;
  const uint64_t ticks = static_cast<uint64_t>(seconds) * 10000000u;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

int64_t FromFileTime(const FILETIME& time) {
  const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10000000u) - kSecondsFrom1601To1970;
}

struct HandleTraits {
  using Value = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE handle) { CloseHandle(handle); }
};
using Handle = UniqueHandle<HandleTraits>;

struct FindTraits {
  using Value = HANDLE;
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE find) { FindClose(find); }
};
using FindHandle = UniqueHandle<FindTraits>;

// Refuses the component `count` of `path` (counted from 1), whose full name is `full`, when
// Windows does not hold it as the plain name it is, or when it names another existing file
// through that file's short name.
IoResult CheckName(const RelativePath& path, size_t count, const std::wstring& full) {
  std::string why;
  if (!IsAllowedComponent(path[count - 1], &why))
    return IoResult::Failure(IoResult::kRefused, "refused: " + PathForMessages(path, count) +
                                                     " is no name that Windows can take, " + why);
  // Short names carry a "~" (FAT and NTFS: "~" and a number; other file systems, Wine's
  // drives among them, "~" and letters too). A name without one cannot be another's alias.
  if (path[count - 1].find('~') == std::string::npos) return IoResult::Ok();
  WIN32_FIND_DATAW found;
  FindHandle find(
      FindFirstFileExW(full.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
  if (!find.valid()) return IoResult::Ok();  // nothing there under either name
  const std::wstring name = full.substr(full.rfind(L'\\') + 1);
  if (CompareStringOrdinal(found.cFileName, -1, name.c_str(), -1, TRUE) == CSTR_EQUAL)
    return IoResult::Ok();
  return IoResult::Failure(IoResult::kRefused, "refused: " + PathForMessages(path, count) +
                                                   " is the short name of another file, " +
                                                   NarrowToUtf8(found.cFileName));
}

// Marks the open file `file` to be deleted when its last handle closes, or takes the mark
// away again. The mark is the system's: it holds however the process ends.
bool MarkForDeletion(HANDLE file, bool marked) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = marked ? TRUE : FALSE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
}

// Moves the open file `file` to the absolute path `to`, over an existing file when
// `replace` is set, in one step of the file system.
bool MoveOpenFile(HANDLE file, const std::wstring& to, bool replace) {
  const size_t name_bytes = to.size() * sizeof(wchar_t);
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + name_bytes);
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = replace ? TRUE : FALSE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(name_bytes);
  memcpy(rename->FileName, to.c_str(), name_bytes + sizeof(wchar_t));
  return SetFileInformationByHandle(file, FileRenameInfo, rename,
                                    static_cast<DWORD>(buffer.size()));
}

// Which file the open `file` is; a zero identity when the system does not say.
FileIdentity IdentityOf(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(file, &information)) return {};
  return {information.dwVolumeSerialNumber,
          (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

// A file being written: a hidden temporary name beside its final one, marked for deletion
// from its creation, so that whatever ends the process before the link, the system
// removes it. Link takes the mark away and moves the file to its name through the same
// handle, and sets the mark again when the name is taken. Where the mark cannot be set (a
// file system without it), the file is deleted by name when it is dropped, which a killed
// process does not do. A file that NameAhead named is complete under its name; dropped
// before Link, it is marked again and so removed when its handle closes.
class Win32OutputFile : public OutputFile {
 public:
  // Finds the final path of the file when it is named (with `create`, making the
  // directories on the way, in entry order on the committing thread).
  using FinalPath = std::function<IoResult(std::wstring*, bool create)>;

  Win32OutputFile(Handle file, bool marked, std::wstring temporary, FinalPath final_path,
                  std::string shown)
      : file_(std::move(file)),
        marked_(marked),
        current_(std::move(temporary)),
        final_path_(std::move(final_path)),
        shown_(std::move(shown)) {}

  ~Win32OutputFile() override {
    if (committed_) return;
    // A failed link may have taken the mark away.
    if (marked_ && !MarkForDeletion(file_.get(), true)) marked_ = false;
    file_.reset();
    if (!marked_) DeleteFileW(current_.c_str());
  }

  IoResult Write(const unsigned char* data, size_t size) override {
    while (size > 0) {
      const DWORD chunk = static_cast<DWORD>(size < (1u << 30) ? size : (1u << 30));
      DWORD written = 0;
      if (!WriteFile(file_.get(), data, chunk, &written, nullptr) || written == 0)
        return SystemFailure(GetLastError(), "cannot write " + shown_);
      data += written;
      size -= written;
    }
    return IoResult::Ok();
  }

  IoResult SetAttributes(const FileAttributes& attributes) override {
    const FILETIME modified = ToFileTime(attributes.mtime);
    if (!SetFileTime(file_.get(), nullptr, nullptr, &modified))
      return SystemFailure(GetLastError(), "cannot set the time of " + shown_);
    read_only_ = attributes.restore_mode && (attributes.mode & 0200) == 0;
    if (attributes.identify) identity_ = IdentityOf(file_.get());
    return IoResult::Ok();
  }

  // Renames without ReplaceIfExists: a name taken (ERROR_ALREADY_EXISTS) leaves the file
  // where it was, marked again, for Link.
  bool NameAhead() override {
    if (committed_ || named_ahead_) return false;
    std::wstring final_path;
    if (!final_path_(&final_path, false).ok()) return false;
    if (marked_ && !MarkForDeletion(file_.get(), false)) return false;
    if (!MoveOpenFile(file_.get(), final_path, false)) {
      if (marked_ && !MarkForDeletion(file_.get(), true)) marked_ = false;
      return false;
    }
    final_ = std::move(final_path);
    current_ = final_;
    named_ahead_ = true;
    // Marked again, the file is removed unless its turn comes; Link takes the mark away.
    if (marked_ && !MarkForDeletion(file_.get(), true)) marked_ = false;
    return true;
  }

  FileIdentity identity() const override { return identity_; }

  // An interruption between taking the mark away and the move leaves the complete file
  // under its temporary name.
  IoResult Link(bool replace) override {
    if (committed_) return IoResult::Failure(IoResult::kFailed, shown_ + " is linked already");
    if (named_ahead_) return Keep();
    if (const IoResult found = final_path_(&final_, true); !found.ok()) return found;
    if (marked_ && !MarkForDeletion(file_.get(), false))
      return SystemFailure(GetLastError(), "cannot keep " + shown_);
    if (!MoveOpenFile(file_.get(), final_, replace)) {
      const IoResult failed = MoveFailure(GetLastError());
      if (marked_ && !MarkForDeletion(file_.get(), true)) marked_ = false;
      return failed;
    }
    return Keep();
  }

 private:
  // The file has its name: it stays.
  IoResult Keep() {
    if (named_ahead_ && marked_ && !MarkForDeletion(file_.get(), false))
      return SystemFailure(GetLastError(), "cannot keep " + shown_);
    committed_ = true;
    // Windows keeps one permission of its own: a file without write permission is
    // read-only. Set once the file has its name: a read-only file cannot be marked for
    // deletion again, as a failed move needs.
    if (read_only_) {
      FILE_BASIC_INFO basic{};  // times of zero stay as they are
      basic.FileAttributes = FILE_ATTRIBUTE_READONLY;
      SetFileInformationByHandle(file_.get(), FileBasicInfo, &basic, sizeof basic);
    }
    file_.reset();
    return IoResult::Ok();
  }

  IoResult MoveFailure(DWORD code) const {
    const DWORD existing = GetFileAttributesW(final_.c_str());
    // The name is taken either way: the commit looks at what has it.
    if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY))
      return IoResult::Failure(IoResult::kExists, shown_ + " is a directory");
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)
      return IoResult::Failure(IoResult::kExists, shown_ + " exists already");
    return SystemFailure(code, "cannot move the file into place as " + shown_);
  }

  Handle file_;
  bool marked_;
  std::wstring current_;  // the file's name now: temporary until it is named
  FinalPath final_path_;
  std::wstring final_;  // known once it is named, or Link found it
  std::string shown_;
  FileIdentity identity_;
  bool read_only_ = false;
  bool named_ahead_ = false;
  bool committed_ = false;
};

class Win32TargetDirectory : public TargetDirectory {
 public:
  explicit Win32TargetDirectory(std::wstring root) : root_(std::move(root)) {}

  ExistingFile Probe(const RelativePath& path) override {
    ExistingFile existing;
    if (path.empty()) return existing;
    std::wstring full;
    if (!Walk(path, path.size() - 1, false, &full).ok()) return existing;
    full += L"\\" + WidenUtf8(path.back());
    if (!CheckName(path, path.size(), full).ok()) return existing;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(full.c_str(), GetFileExInfoStandard, &data)) return existing;
    const bool link = data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
    existing.exists = true;
    existing.is_directory = !link && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    existing.is_regular = !link && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    existing.mtime = FromFileTime(data.ftLastWriteTime);
    Handle opened(::CreateFileW(
        full.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
        nullptr));
    if (opened.valid()) existing.identity = IdentityOf(opened.get());
    return existing;
  }

  IoResult MakeDirectory(const RelativePath& path) override {
    std::wstring full;
    return Walk(path, path.size(), true, &full);
  }

  // The file starts in its directory when that exists, else in the target itself (one
  // volume: no directory on the way may be a link or mount point), so that no directory is
  // made ahead of the entries before it; Link makes the rest and checks the final name.
  std::unique_ptr<OutputFile> CreateFile(const RelativePath& path, IoResult* result) override {
    if (path.empty()) {
      *result = IoResult::Failure(IoResult::kFailed, "empty file name");
      return nullptr;
    }
    std::wstring directory;
    if (!Parent(path, false, &directory).ok()) directory = root_;
    // A name that Windows cannot take is refused before anything is written.
    *result = CheckPath(path);
    if (!result->ok()) return nullptr;
    const std::string shown = PathForMessages(path, path.size());
    Win32OutputFile::FinalPath final_path = [this, path](std::wstring* full, bool create) {
      std::wstring parent;
      if (IoResult found = Parent(path, create, &parent); !found.ok()) return found;
      *full = parent + L"\\" + WidenUtf8(path.back());
      return CheckName(path, path.size(), *full);
    };
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
      const std::wstring temporary_path = directory + L"\\" + WidenUtf8(names_.Next());
      // DELETE access: for the mark and the move.
      Handle file(::CreateFileW(temporary_path.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file.valid()) {
        const bool marked = MarkForDeletion(file.get(), true);
        *result = IoResult::Ok();
        return std::make_unique<Win32OutputFile>(std::move(file), marked, temporary_path,
                                                 std::move(final_path), shown);
      }
      const DWORD code = GetLastError();
      if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) {
        *result = SystemFailure(code, "cannot create a temporary file for " + shown);
        return nullptr;
      }
    }
    *result =
        IoResult::Failure(IoResult::kFailed, "cannot find a free temporary name for " + shown);
    return nullptr;
  }

  IoResult SetDirectoryTime(const RelativePath& path, int64_t mtime) override {
    std::wstring full;
    IoResult result = Walk(path, path.size(), false, &full);
    if (!result.ok()) return result;
    Handle directory(::CreateFileW(
        full.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
        nullptr));
    const FILETIME modified = ToFileTime(mtime);
    if (!directory.valid() || !SetFileTime(directory.get(), nullptr, nullptr, &modified))
      return SystemFailure(GetLastError(),
                           "cannot set the time of " + PathForMessages(path, path.size()));
    return IoResult::Ok();
  }

 private:
  // A directory checked once and held open, so that it cannot be moved or deleted, nor a
  // link put in its place, while files go into it.
  struct HeldDirectory {
    std::wstring full;
    Handle pin;
  };

  // Checks every component of `path` as CheckName does, where it would be below the root.
  IoResult CheckPath(const RelativePath& path) const {
    std::wstring full = root_;
    for (size_t i = 0; i < path.size(); ++i) {
      full += L"\\" + WidenUtf8(path[i]);
      if (IoResult checked = CheckName(path, i + 1, full); !checked.ok()) return checked;
    }
    return IoResult::Ok();
  }

  // The directory that holds `path` (with `create`, made where missing): one of those held,
  // or walked once and then held. Safe on several threads.
  IoResult Parent(const RelativePath& path, bool create, std::wstring* full) {
    const size_t count = path.size() - 1;
    std::lock_guard<std::mutex> lock(mutex_);
    if (const HeldDirectory* held = held_.Find(path, count)) {
      *full = held->full;
      return IoResult::Ok();
    }
    const IoResult walked = Walk(path, count, create, full);
    if (!walked.ok()) return walked;
    Handle pin(::CreateFileW(full->c_str(), FILE_READ_ATTRIBUTES,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    held_.Hold(path, count, HeldDirectory{*full, std::move(pin)});
    return IoResult::Ok();
  }

  // Checks (and with `create` makes) the first `count` components of `path` as plain
  // directories below the root; `full` receives the path of the last one.
  IoResult Walk(const RelativePath& path, size_t count, bool create, std::wstring* full) {
    std::wstring current = root_;
    for (size_t i = 0; i < count; ++i) {
      current += L"\\" + WidenUtf8(path[i]);
      const IoResult checked = CheckName(path, i + 1, current);
      if (!checked.ok()) return checked;
      DWORD attributes = GetFileAttributesW(current.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (!create || (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND))
          return SystemFailure(code, "cannot open directory " + PathForMessages(path, i + 1));
        if (!CreateDirectoryW(current.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
          return SystemFailure(GetLastError(),
                               "cannot create directory " + PathForMessages(path, i + 1));
        attributes = GetFileAttributesW(current.c_str());
      }
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return IoResult::Failure(IoResult::kLinkInTheWay, PathForMessages(path, i + 1) +
                                                              " is a link; links are not followed");
      if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return IoResult::Failure(IoResult::kFailed,
                                 PathForMessages(path, i + 1) + " is not a directory");
    }
    *full = current;
    return IoResult::Ok();
  }

  std::wstring root_;
  TemporaryNames names_;
  std::mutex mutex_;  // guards held_
  HeldDirectories<HeldDirectory> held_;
};

// Creates the target directory and every missing one that leads to it.
IoResult CreateTarget(const std::wstring& extended, const std::string& shown) {
  // Skip the \\?\ prefix and the drive or share, then create level by level.
  size_t start = extended.find(L'\\', 4);
  if (extended.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    start = extended.find(L'\\', 8);
    if (start != std::wstring::npos) start = extended.find(L'\\', start + 1);
  }
  for (size_t slash = start; slash != std::wstring::npos;) {
    slash = extended.find(L'\\', slash + 1);
    const std::wstring prefix = extended.substr(0, slash);
    if (!CreateDirectoryW(prefix.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      return SystemFailure(GetLastError(), "cannot create the target directory " + shown);
  }
  return IoResult::Ok();
}

}  // namespace

// A name with "~" may be the short name of a file that another entry makes.
bool NamesMayMeet(const RelativePath& path) {
  return std::any_of(path.begin(), path.end(), [](const std::string& component) {
    return component.find('~') != std::string::npos;
  });
}

std::unique_ptr<TargetDirectory> TargetDirectory::Open(const std::string& path, IoResult* result) {
  const std::wstring given = path.empty() ? std::wstring(L".") : WidenUtf8(path);
  const std::string shown = path.empty() ? std::string(".") : path;
  DWORD needed = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
  std::wstring full(needed, L'\0');
  if (needed == 0 ||
      (needed = GetFullPathNameW(given.c_str(), needed, full.data(), nullptr)) == 0 ||
      needed >= full.size()) {
    *result = SystemFailure(GetLastError(), "cannot use the target directory " + shown);
    return nullptr;
  }
  full.resize(needed);
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  std::wstring extended = ExtendedPath(full);
  if (extended.back() == L'\\') extended.pop_back();

  // A drive's root directory is only itself with its back slash.
  const std::wstring probe = extended.back() == L':' ? extended + L"\\" : extended;
  DWORD attributes = GetFileAttributesW(probe.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    *result = CreateTarget(extended, shown);
    if (!result->ok()) return nullptr;
    attributes = GetFileAttributesW(probe.c_str());
  }
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    *result = IoResult::Failure(IoResult::kFailed,
                                "the target directory " + shown + " is not a directory");
    return nullptr;
  }
  *result = IoResult::Ok();
  return std::make_unique<Win32TargetDirectory>(extended);
}

}  // namespace nocunzip::unzip32
