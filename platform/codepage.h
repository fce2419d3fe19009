// Conversion between the program's wide texts and the 8-bit texts of the unzip library:
// the ANSI code page on Windows, UTF-8 elsewhere.
#pragma once

#include <string>
#include <string_view>

namespace nocunzip::platform {

std::string ToAnsi(std::wstring_view text);

// Bytes that are not valid in the code page come out as U+FFFD, never as a failure.
std::wstring FromAnsi(std::string_view bytes);

}  // namespace nocunzip::platform
