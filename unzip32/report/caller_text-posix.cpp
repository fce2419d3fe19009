// Callers on POSIX systems read and write UTF-8, as the library does: texts pass unchanged.
#include "report/caller_text.h"

namespace nocunzip::unzip32 {

std::string ToCallerText(std::string_view text) { return std::string(text); }

std::string FromCallerText(std::string_view text) { return std::string(text); }

}  // namespace nocunzip::unzip32
