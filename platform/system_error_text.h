// The system's description of a Win32 error code, for the Windows side of the platform
// services (Windows only).
#pragma once

#include <string>

namespace nocunzip::platform {

// The text of `code` (a GetLastError value) without the line break it ends with, or
// "Windows error N" when the system has none.
std::wstring SystemErrorText(unsigned long code);

}  // namespace nocunzip::platform
