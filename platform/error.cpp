#include "platform/error.h"

#include <new>
#include <utility>

#include "platform/codepage.h"

namespace nocunzip {

ProgramError::ProgramError(int32_t number, std::wstring source, std::wstring description)
    : std::runtime_error("program error " + std::to_string(number)),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

ProgramError ProgramError::WithSource(std::wstring source) const {
  return ProgramError(number_, std::move(source), description_);
}

ProgramError CaughtError(std::wstring source) {
  try {
    throw;
  } catch (const ProgramError& error) {
    return error.WithSource(std::move(source));
  } catch (const std::bad_alloc&) {
    return ProgramError(kErrOutOfMemory, std::move(source), L"Out of memory");
  } catch (const std::exception& error) {
    return ProgramError(kErrInternal, std::move(source),
                        L"Internal error: " + platform::FromAnsi(error.what()));
  } catch (...) {
    return ProgramError(kErrInternal, std::move(source), L"Internal error");
  }
}

}  // namespace nocunzip
