// The binding to the unzip library: loaded by name on the first call of one of its entries,
// each entry looked up once, and kept loaded as long as the binding lives.
#pragma once

#include <cstdint>
#include <memory>

#include "unzip32/unzip32.h"

namespace nocunzip {
namespace platform {
class DynamicLibrary;
}

class UnzipLibrary {
 public:
  // The one binding of the process, to unzip32.dll (libunzip32.so outside Windows) as the
  // platform's library search finds it.
  static UnzipLibrary& OfProcess();

  ~UnzipLibrary();
  UnzipLibrary(const UnzipLibrary&) = delete;
  UnzipLibrary& operator=(const UnzipLibrary&) = delete;

  // The two entries. Raise ProgramError 53 when the library cannot be loaded and 453 when
  // the entry is missing; the loader's own reason follows the description.
  int32_t UzpVersion2(UzVersionRecord* record);
  int32_t Wiz_SingleEntryUnzip(int32_t include_count, const char** include, int32_t exclude_count,
                               const char** exclude, UzOptionsRecord* options,
                               UzCallbackRecord* callbacks);

 private:
  using VersionEntry = int32_t(UZ_CALL*)(UzVersionRecord*);
  using UnzipEntry = int32_t(UZ_CALL*)(int32_t, const char**, int32_t, const char**,
                                       UzOptionsRecord*, UzCallbackRecord*);

  UnzipLibrary();

  platform::DynamicLibrary& Loaded();
  void* Lookup(const char* name);

  std::unique_ptr<platform::DynamicLibrary> library_;
  VersionEntry version_entry_ = nullptr;
  UnzipEntry unzip_entry_ = nullptr;
};

}  // namespace nocunzip
