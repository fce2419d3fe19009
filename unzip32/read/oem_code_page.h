// The OEM code page: what names in archives from MS-DOS-era tools (and Windows tools that
// still follow them) are written in when they are neither flagged nor valid UTF-8. On
// Windows it is the system's OEM code page (GetOEMCP), elsewhere code page 437.
// Implemented once per platform (oem_code_page-posix.cpp, oem_code_page-win32.cpp).
#pragma once

#include <string>
#include <string_view>

namespace nocunzip::unzip32 {

// `text`, read in the OEM code page, as valid UTF-8.
std::string OemToUtf8(std::string_view text);

}  // namespace nocunzip::unzip32
