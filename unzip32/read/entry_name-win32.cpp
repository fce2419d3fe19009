#include <windows.h>

#include "read/entry_name.h"
#include "win32_text.h"

namespace nocunzip::unzip32 {

// The system's OEM code page, through the system's own conversion: it knows the double-byte
// code pages (932, 936, 949, 950) as well as the single-byte ones.
std::string OemToUtf8(std::string_view text) {
  if (text.empty()) return std::string();
  const int length = static_cast<int>(text.size());
  const UINT code_page = GetOEMCP();
  const int wide_length = MultiByteToWideChar(code_page, 0, text.data(), length, nullptr, 0);
  if (wide_length <= 0) return RepairUtf8(text);
  std::wstring wide(static_cast<size_t>(wide_length), L'\0');
  MultiByteToWideChar(code_page, 0, text.data(), length, wide.data(), wide_length);
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return RepairUtf8(text);
  std::string utf8(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, utf8.data(), needed, nullptr, nullptr);
  // Older systems pass lone surrogates through.
  return RepairUtf8(utf8);
}

// Windows file systems ignore case: names are compared in their upper-case form, which
// LCMapString gives with the system's own case table (the invariant locale's, as NTFS
// does not follow the user's language either).
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
