// The argument text of the process: the command line that Windows keeps for it, without
// the program's own path (quoted or not) and the blanks after that path.
#include <windows.h>

#include <string>

#include "platform/command_line.h"

namespace nocunzip::platform {
namespace {

bool IsSpaceOrTab(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::wstring CommandLineArguments() {
  const wchar_t* line = GetCommandLineW();
  if (!line) return std::wstring();
  const wchar_t* p = line;
  if (*p == L'"') {
    // A quoted program path ends at the next quote; no escapes exist inside it.
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p == L'"') ++p;
  } else {
    while (*p && !IsSpaceOrTab(*p)) ++p;
  }
  while (IsSpaceOrTab(*p)) ++p;
  return std::wstring(p);
}

}  // namespace nocunzip::platform
