// What the caller text tests expect of the platform they run on: how the caller spells the
// test names (caller_text_test-posix.cpp, caller_text_test-win32.cpp).
#pragma once

#include <string>

namespace nocunzip::unzip32::testing {

// False where the caller's code page is not the one that the expectations are written for;
// the tests that depend on it are skipped there.
bool CallerCodePageIsKnown();

// `utf8`, one of the names that the tests use, as the caller reads and writes it.
std::string CallerSpelling(const std::string& utf8);

}  // namespace nocunzip::unzip32::testing
