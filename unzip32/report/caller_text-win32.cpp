// Callers on Windows read and write texts in the ANSI code page (CP_ACP); the library's
// texts are UTF-8. Both ways go through UTF-16 with the system's own conversions.
#include <windows.h>

#include <algorithm>
#include <climits>

#include "report/caller_text.h"

namespace nocunzip::unzip32 {
namespace {

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// False when `text` is not valid in `code_page` (with MB_ERR_INVALID_CHARS) or too long.
bool ToWide(std::string_view text, UINT code_page, DWORD flags, std::wstring* wide) {
  if (text.size() > static_cast<size_t>(INT_MAX)) return false;
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(code_page, flags, text.data(), length, nullptr, 0);
  if (needed <= 0) return false;
  wide->assign(static_cast<size_t>(needed), L'\0');
  return MultiByteToWideChar(code_page, flags, text.data(), length, wide->data(), needed) == needed;
}

bool FromWide(const std::wstring& wide, UINT code_page, DWORD flags, std::string* text) {
  const int length = static_cast<int>(wide.size());
  const int needed =
      WideCharToMultiByte(code_page, flags, wide.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return false;
  text->assign(static_cast<size_t>(needed), '\0');
  return WideCharToMultiByte(code_page, flags, wide.data(), length, text->data(), needed, nullptr,
                             nullptr) == needed;
}

}  // namespace

std::string ToCallerText(std::string_view text) {
  if (IsAscii(text) || GetACP() == CP_UTF8) return std::string(text);
  std::wstring wide;
  if (!ToWide(text, CP_UTF8, MB_ERR_INVALID_CHARS, &wide)) return std::string(text);
  // No best fit: a character that the code page lacks shows as "?" instead of a look-alike
  // (an "l" for an "ł") that names another file.
  std::string converted;
  if (FromWide(wide, CP_ACP, WC_NO_BEST_FIT_CHARS, &converted) ||
      FromWide(wide, CP_ACP, 0, &converted)) {
    return converted;
  }
  return std::string(text);
}

std::string FromCallerText(std::string_view text) {
  if (IsAscii(text) || GetACP() == CP_UTF8) return std::string(text);
  std::wstring wide;
  std::string converted;
  if (ToWide(text, CP_ACP, 0, &wide) && FromWide(wide, CP_UTF8, 0, &converted)) return converted;
  return std::string(text);
}

}  // namespace nocunzip::unzip32
