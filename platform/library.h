// A dynamic library loaded by name through the platform's usual search, and its entries.
#pragma once

#include <string>

namespace nocunzip::platform {

// The file name of the library called `name` on this platform: NAME.dll on Windows,
// libNAME.so elsewhere.
std::wstring LibraryFileName(const std::wstring& name);

class DynamicLibrary {
 public:
  // Loads `name` (LoadLibraryW on Windows, dlopen elsewhere). On failure the object is not
  // loaded() and `error` holds the loader's description of the failure.
  explicit DynamicLibrary(const std::wstring& name);
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  const std::wstring& error() const { return error_; }

  // The address of entry `name`, or nullptr with `detail` set to the loader's reason.
  void* Entry(const char* name, std::wstring* detail) const;

 private:
  void* handle_ = nullptr;
  std::wstring error_;
};

}  // namespace nocunzip::platform
