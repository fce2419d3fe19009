#include "platform/error.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

namespace nocunzip {
namespace {

TEST(CaughtError, EveryExceptionBecomesAProgramErrorOfTheGivenSource) {
  const struct {
    std::function<void()> raise;
    int32_t number;
    std::wstring description;
  } cases[] = {
      {[] { throw ProgramError(53, L"NocUnzip", L"File not found: unzip32.dll"); }, 53,
       L"File not found: unzip32.dll"},
      {[] { throw std::bad_alloc(); }, kErrOutOfMemory, L"Out of memory"},
      {[] { throw std::length_error("vector too long"); }, kErrInternal,
       L"Internal error: vector too long"},
      {[] { throw 42; }, kErrInternal, L"Internal error"},
  };
  for (const auto& c : cases) {
    try {
      c.raise();
    } catch (...) {
      const ProgramError error = CaughtError(L"Unzip32");
      EXPECT_EQ(error.number(), c.number);
      EXPECT_EQ(error.description(), c.description);
      EXPECT_EQ(error.source(), L"Unzip32");
    }
  }
}

}  // namespace
}  // namespace nocunzip
