// Dynamic libraries through LoadLibraryW, which searches the program's own directory first.
#include <windows.h>

#include <string>

#include "platform/library.h"
#include "platform/system_error_text.h"

namespace nocunzip::platform {

std::wstring LibraryFileName(const std::wstring& name) { return name + L".dll"; }

DynamicLibrary::DynamicLibrary(const std::wstring& name) {
  // A missing or broken library is reported to the caller, not in a dialog of the system.
  DWORD previous_mode = 0;
  const bool mode_set =
      SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_mode);
  handle_ = LoadLibraryW(name.c_str());
  const DWORD code = GetLastError();
  if (mode_set) SetThreadErrorMode(previous_mode, nullptr);
  if (!handle_) error_ = SystemErrorText(code);
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
  if (!address && detail) *detail = SystemErrorText(GetLastError());
  return reinterpret_cast<void*>(address);
}

}  // namespace nocunzip::platform
