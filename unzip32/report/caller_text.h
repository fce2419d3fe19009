// The texts that pass between the library and its caller. Inside, the library keeps every
// text in UTF-8, as libzip hands it the entry names; the caller reads and writes 8-bit texts
// in its system's code page: the ANSI code page on Windows, UTF-8 elsewhere. Every text that
// comes from the caller is converted on its way in (the options record), every text that
// goes to a callback on its way out (report.cpp). Implemented once per platform
// (caller_text-posix.cpp, caller_text-win32.cpp).
#pragma once

#include <string>
#include <string_view>

namespace nocunzip::unzip32 {

// A library text as the caller reads it. A character that the caller's code page lacks
// becomes the code page's default character ("?"), so no text is ever cut short. Bytes that
// are no UTF-8 are not the library's own text (the contents of an entry, for one) and pass
// unchanged.
std::string ToCallerText(std::string_view text);

// A text of the caller (a path, a name pattern) as the library keeps it.
std::string FromCallerText(std::string_view text);

}  // namespace nocunzip::unzip32
