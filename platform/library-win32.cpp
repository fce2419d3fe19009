// Dynamic libraries through LoadLibraryW, which searches the program's own directory first.
#include <windows.h>

#include <string>

#include "platform/library.h"

namespace nocunzip::platform {
namespace {

// The system's description of error `code`, without the line break it ends with.
std::wstring SystemMessage(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (length > 0 && buffer) text.assign(buffer, length);
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  if (text.empty()) text = L"Windows error " + std::to_wstring(code);
  return text;
}

}  // namespace

DynamicLibrary::DynamicLibrary(const std::wstring& name) {
  // A missing or broken library is reported to the caller, not in a dialog of the system.
  DWORD previous_mode = 0;
  const bool mode_set =
      SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_mode);
  handle_ = LoadLibraryW(name.c_str());
  const DWORD code = GetLastError();
  if (mode_set) SetThreadErrorMode(previous_mode, nullptr);
  if (!handle_) error_ = SystemMessage(code);
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* DynamicLibrary::Entry(const char* name, std::wstring* detail) const {
  if (!handle_) {
    if (detail) *detail = error_;
    return nullptr;
  }
  FARPROC address = GetProcAddress(static_cast<HMODULE>(handle_), name);
  if (!address && detail) *detail = SystemMessage(GetLastError());
  return reinterpret_cast<void*>(address);
}

}  // namespace nocunzip::platform
