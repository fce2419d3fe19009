#include "password.h"

#include <algorithm>

namespace nocunzip::unzip32 {

EntryOpener::~EntryOpener() { std::fill(password_.begin(), password_.end(), '\0'); }

OpenedEntry EntryOpener::TryOpen(zip_t* archive, zip_uint64_t index, zip_flags_t flags,
                                 const char* password, int* error_code) {
  OpenedEntry opened;
  zip_file_t* file = password == nullptr
                         ? zip_fopen_index(archive, index, flags)
                         : zip_fopen_index_encrypted(archive, index, flags, password);
  if (file != nullptr) {
    opened.status = OpenedEntry::kOk;
    opened.file.reset(file);
    *error_code = ZIP_ER_OK;
    return opened;
  }
  zip_error_t* error = zip_get_error(archive);
  *error_code = zip_error_code_zip(error);
  opened.message = ZipErrorText(error);
  zip_error_clear(archive);
  if (*error_code == ZIP_ER_ENCRNOTSUPP || *error_code == ZIP_ER_COMPNOTSUPP) {
    opened.status = OpenedEntry::kUnsupported;
  }
  return opened;
}

OpenedEntry EntryOpener::Open(zip_t* archive, zip_uint64_t index, const EntryFacts& facts,
                              zip_flags_t flags) {
  int error_code = ZIP_ER_OK;
  if (facts.encryption == ZIP_EM_NONE) return TryOpen(archive, index, flags, nullptr, &error_code);

  if (have_password_) {
    OpenedEntry opened = TryOpen(archive, index, flags, password_.c_str(), &error_code);
    if (opened.status == OpenedEntry::kOk ||
        (error_code != ZIP_ER_WRONGPASSWD && error_code != ZIP_ER_NOPASSWD)) {
      return opened;
    }
  }
  for (int ask = 0; ask < kPasswordAsksPerEntry; ++ask) {
    std::string candidate;
    if (!reporter_.AskPassword(facts.name, &candidate)) {
      OpenedEntry none;
      none.status = OpenedEntry::kNoPassword;
      none.message = "no password was given";
      return none;
    }
    OpenedEntry opened = TryOpen(archive, index, flags, candidate.c_str(), &error_code);
    if (opened.status == OpenedEntry::kOk) {
      password_ = std::move(candidate);
      have_password_ = true;
      return opened;
    }
    std::fill(candidate.begin(), candidate.end(), '\0');
    if (error_code != ZIP_ER_WRONGPASSWD && error_code != ZIP_ER_NOPASSWD) return opened;
  }
  OpenedEntry refused;
  refused.status = OpenedEntry::kNoPassword;
  refused.message = "wrong password (asked " + std::to_string(kPasswordAsksPerEntry) + " times)";
  return refused;
}

}  // namespace nocunzip::unzip32
