// Dynamic libraries through dlopen. The program's RUNPATH is $ORIGIN, so a library beside
// the program is found first.
#include <dlfcn.h>

#include <string>

#include "platform/codepage.h"
#include "platform/library.h"

namespace nocunzip::platform {
namespace {

std::wstring LastLoaderError() {
  const char* text = dlerror();
  return text ? FromAnsi(text) : std::wstring();
}

}  // namespace

DynamicLibrary::DynamicLibrary(const std::wstring& name) {
  handle_ = dlopen(ToAnsi(name).c_str(), RTLD_NOW | RTLD_LOCAL);
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
