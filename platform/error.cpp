#include "platform/error.h"

#include <utility>

namespace nocunzip {

ProgramError::ProgramError(int32_t number, std::wstring source, std::wstring description)
    : std::runtime_error("program error " + std::to_string(number)),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

ProgramError ProgramError::WithSource(std::wstring source) const {
  return ProgramError(number_, std::move(source), description_);
}

}  // namespace nocunzip
