#include "unzip/unzip_library.h"

#include <string>
#include <utility>

#include "platform/error.h"
#include "platform/library.h"

namespace nocunzip {
namespace {

// The name under which the calling program knows the library, whatever its file is called.
constexpr wchar_t kShownName[] = L"unzip32.dll";

std::wstring WithDetail(std::wstring text, const std::wstring& detail) {
  if (!detail.empty()) text += L" (" + detail + L")";
  return text;
}

}  // namespace

UnzipLibrary::UnzipLibrary() = default;

UnzipLibrary::~UnzipLibrary() = default;

UnzipLibrary& UnzipLibrary::OfProcess() {
  static UnzipLibrary library;
  return library;
}

platform::DynamicLibrary& UnzipLibrary::Loaded() {
  if (!library_) {
    auto library =
        std::make_unique<platform::DynamicLibrary>(platform::LibraryFileName(L"unzip32"));
    // A library that failed to load is tried again on the next call.
    if (!library->loaded()) {
      throw ProgramError(
          kErrFileNotFound, L"NocUnzip",
          WithDetail(std::wstring(L"File not found: ") + kShownName, library->error()));
    }
    library_ = std::move(library);
  }
  return *library_;
}

void* UnzipLibrary::Lookup(const char* name) {
  platform::DynamicLibrary& library = Loaded();
  std::wstring detail;
  void* address = library.Entry(name, &detail);
  if (!address) {
    std::wstring entry(name, name + std::char_traits<char>::length(name));
    throw ProgramError(
        kErrEntryPointNotFound, L"NocUnzip",
        WithDetail(L"Can't find DLL entry point " + entry + L" in " + kShownName, detail));
  }
  return address;
}

int32_t UnzipLibrary::UzpVersion2(UzVersionRecord* record) {
  if (!version_entry_) version_entry_ = reinterpret_cast<VersionEntry>(Lookup("UzpVersion2"));
  return version_entry_(record);
}

int32_t UnzipLibrary::Wiz_SingleEntryUnzip(int32_t include_count, const char** include,
                                           int32_t exclude_count, const char** exclude,
                                           UzOptionsRecord* options, UzCallbackRecord* callbacks) {
  if (!unzip_entry_) unzip_entry_ = reinterpret_cast<UnzipEntry>(Lookup("Wiz_SingleEntryUnzip"));
  return unzip_entry_(include_count, include, exclude_count, exclude, options, callbacks);
}

}  // namespace nocunzip
