// The argument text of the process: everything on its command line after the program's
// own path.
#pragma once

#include <string>

namespace nocunzip::platform {

// On Windows the text after the (quoted or unquoted) program path with the blanks after
// it skipped; elsewhere the program's arguments joined with single blanks.
std::wstring CommandLineArguments();

}  // namespace nocunzip::platform
