// Opens an entry for reading, asking the caller for a password when it is encrypted.
//
// The password that worked last is held for the whole extraction and tried first; only
// when it fails (or there is none yet) is the caller asked, at most three times for one
// entry, so a wrong password can never loop.
#pragma once

#include <zip.h>

#include <string>

#include "archive_source.h"
#include "report.h"

namespace nocunzip::unzip32 {

inline constexpr int kPasswordAsksPerEntry = 3;

struct OpenedEntry {
  enum Status { kOk, kNoPassword, kUnsupported, kFailed };
  Status status = kFailed;
  ZipFile file;
  std::string message;  // why it could not be opened
};

class EntryOpener {
 public:
  explicit EntryOpener(Reporter& reporter) : reporter_(reporter) {}
  ~EntryOpener();

  // Opens the entry of `facts`, entry `index` of `archive`, with libzip's `flags`
  // (ZIP_FL_COMPRESSED for raw data).
  OpenedEntry Open(zip_t* archive, zip_uint64_t index, const EntryFacts& facts, zip_flags_t flags);

 private:
  OpenedEntry TryOpen(zip_t* archive, zip_uint64_t index, zip_flags_t flags, const char* password,
                      int* error_code);

  Reporter& reporter_;
  std::string password_;
  bool have_password_ = false;
};

}  // namespace nocunzip::unzip32
