// Windows file systems ignore case: names are compared in their upper-case form, which
// LCMapString gives with the system's own case table (the invariant locale's, as NTFS
// does not follow the user's language either).
#include <windows.h>

#include "read/entry_key.h"
#include "win32_text.h"

namespace nocunzip::unzip32 {

std::string FileSystemKey(std::string_view normalised) {
  std::wstring wide = WidenUtf8(normalised);
  if (wide.empty()) return {};
  std::wstring upper(wide.size(), L'\0');
  const int written =
      LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), static_cast<int>(wide.size()),
                   upper.data(), static_cast<int>(upper.size()));
  if (written <= 0) return std::string(normalised);
  upper.resize(static_cast<size_t>(written));
  return NarrowToUtf8(upper);
}

}  // namespace nocunzip::unzip32
