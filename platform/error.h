// An error of the program: a number, the source that raised it and a description.
//
// The unzip binding relabels errors with its own source on the way up; the job lets
// them through, and the start-up code reports them as uncaught errors.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace nocunzip {

// Error numbers used by the program.
inline constexpr int32_t kErrOverflow = 6;
inline constexpr int32_t kErrOutOfMemory = 7;
inline constexpr int32_t kErrInternal = 51;
inline constexpr int32_t kErrFileNotFound = 53;
inline constexpr int32_t kErrPathFileAccess = 75;
inline constexpr int32_t kErrPathNotFound = 76;
inline constexpr int32_t kErrEntryPointNotFound = 453;

class ProgramError : public std::runtime_error {
 public:
  ProgramError(int32_t number, std::wstring source, std::wstring description);

  int32_t number() const { return number_; }
  const std::wstring& source() const { return source_; }
  const std::wstring& description() const { return description_; }

  // The same number and description under another source.
  ProgramError WithSource(std::wstring source) const;

 private:
  int32_t number_;
  std::wstring source_;
  std::wstring description_;
};

}  // namespace nocunzip
