// Dynamic libraries through dlopen. A bare library name is looked for beside the program
// first, as Windows searches the program's directory first; the program's own path comes
// from Linux's /proc/self/exe. The program's RUNPATH is
// $ORIGIN as well, but a loader interposed on dlopen (as the sanitizers do) hides it, so
// the program's directory is tried explicitly.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <string>

#include "platform/codepage.h"
#include "platform/library.h"

namespace nocunzip::platform {
namespace {

std::wstring LastLoaderError() {
  const char* text = dlerror();
  return text ? FromAnsi(text) : std::wstring();
}

// `name` in the directory of the running program, or empty when that cannot be told.
std::string BesideProgram(const std::string& name) {
  char path[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) return std::string();
  std::string program(path, static_cast<size_t>(length));
  size_t slash = program.rfind('/');
  if (slash == std::string::npos) return std::string();
  return program.substr(0, slash + 1) + name;
}

}  // namespace

std::wstring LibraryFileName(const std::wstring& name) { return L"lib" + name + L".so"; }

DynamicLibrary::DynamicLibrary(const std::wstring& name) {
  std::string file = ToAnsi(name);
  if (file.find('/') == std::string::npos) {
    // A library beside the program is the one meant, even if it then fails to load.
    const std::string beside = BesideProgram(file);
    if (!beside.empty() && access(beside.c_str(), F_OK) == 0) file = beside;
  }
  handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) error_ = LastLoaderError();
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_) dlclose(handle_);
}

void* DynamicLibrary::Entry(const char* name, std::wstring* detail) const {
  if (!handle_) {
    if (detail) *detail = error_;
    return nullptr;
  }
  dlerror();
  void* address = dlsym(handle_, name);
  if (!address && detail) *detail = LastLoaderError();
  return address;
}

}  // namespace nocunzip::platform
