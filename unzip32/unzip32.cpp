// The two entry points of the library.
#include "unzip32.h"

#include <zlib.h>

#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "report/caller_text.h"
#include "extraction.h"
#include "options.h"

namespace {

constexpr char kVersion[] = "1.0.0";
constexpr char kDate[] = "2026-12-08";
constexpr uint32_t kVersionMajor = 1;
constexpr uint32_t kVersionMinor = 0;
constexpr uint32_t kVersionPatch = 0;
constexpr uint32_t kInterfaceVersion = 1;

// Copies `text` into a fixed field, cut to fit, zero-terminated and zero-padded.
template <size_t N>
void SetField(char (&field)[N], const char* text) {
  std::memset(field, 0, N);
  std::strncpy(field, text, N - 1);
}

void PrintFailure(const UzCallbackRecord* callbacks, const char* text) {
  if (callbacks != nullptr && callbacks->Print != nullptr) {
    const std::string shown = nocunzip::unzip32::ToCallerText(text);
    callbacks->Print(shown.c_str(), static_cast<int32_t>(shown.size()));
  }
}

}  // namespace

extern "C" UZ_EXPORT int32_t UZ_CALL UzpVersion2(UzVersionRecord* record) {
  if (record == nullptr || record->StructureLength != UZ_VERSION_RECORD_LENGTH) return 1;
  record->Flags = UZ_VERSION_FLAG_ZIP64 | UZ_VERSION_FLAG_ENCRYPTION;
  SetField(record->Version, kVersion);
  SetField(record->Date, kDate);
  SetField(record->ZlibVersion, zlibVersion());
  record->VersionMajor = kVersionMajor;
  record->VersionMinor = kVersionMinor;
  record->VersionPatch = kVersionPatch;
  record->InterfaceVersion = kInterfaceVersion;
  return 0;
}

extern "C" UZ_EXPORT int32_t UZ_CALL
Wiz_SingleEntryUnzip(int32_t include_count, const char** include, int32_t exclude_count,
                     const char** exclude, UzOptionsRecord* options, UzCallbackRecord* callbacks) {
  if (options == nullptr || callbacks == nullptr) {
    PrintFailure(callbacks, "error: no options were given\n");
    return UZ_ERR_ARCHIVE;
  }
  // Nothing may escape into a caller that knows no C++ exceptions.
  try {
    const nocunzip::unzip32::ExtractOptions read =
        nocunzip::unzip32::ReadOptions(*options, include_count, include, exclude_count, exclude);
    return nocunzip::unzip32::RunExtraction(read, *callbacks);
  } catch (const std::bad_alloc&) {
    PrintFailure(callbacks, "error: out of memory\n");
  } catch (const std::exception& e) {
    PrintFailure(callbacks, "error: internal failure: ");
    PrintFailure(callbacks, e.what());
    PrintFailure(callbacks, "\n");
  } catch (...) {
    PrintFailure(callbacks, "error: internal failure\n");
  }
  return UZ_ERR_ENTRY;
}
