// Texts between the library's UTF-8 and Windows' UTF-16, and the system's words for an error.
#pragma once

#include <string>
#include <string_view>

namespace nocunzip::unzip32 {

std::wstring WidenUtf8(std::string_view text);
std::string NarrowToUtf8(std::wstring_view text);
// FormatMessage's text for a Win32 error code, without the line end, in UTF-8.
std::string SystemMessage(unsigned long error);

}  // namespace nocunzip::unzip32
