// An error of the program: a number, the source that raised it and a description.
//
// The unzip binding relabels errors with its own source on the way up; the job lets
// them through, and the start-up code (app/main.cpp) reports them as uncaught errors.
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

// The exception being handled, as an error of the program under `source`: a ProgramError
// keeps its number and description, exhausted memory is 7 "Out of memory" and any other
// exception 51 "Internal error". Call it only inside a catch block.
ProgramError CaughtError(std::wstring source);

}  // namespace nocunzip
