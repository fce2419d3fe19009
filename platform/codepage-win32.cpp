// The unzip library's 8-bit texts are in the system's ANSI code page (CP_ACP) on Windows.
#include <windows.h>

#include <climits>
#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace nocunzip::platform {
namespace {

constexpr wchar_t kReplacement = L'\uFFFD';

// Converts `bytes` in one go; false when they hold a sequence that the code page lacks.
bool ConvertStrict(std::string_view bytes, std::wstring* out) {
  const int length = static_cast<int>(bytes.size());
  const int needed =
      MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
  if (needed <= 0) return false;
  const size_t start = out->size();
  out->resize(start + static_cast<size_t>(needed));
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), length, out->data() + start,
                      needed);
  return true;
}

}  // namespace

std::string ToAnsi(std::wstring_view text) {
  std::string result;
  if (text.empty() || text.size() > INT_MAX) return result;
  const int length = static_cast<int>(text.size());
  const int needed =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return result;
  result.resize(static_cast<size_t>(needed));
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, result.data(), needed, nullptr, nullptr);
  return result;
}

std::wstring FromAnsi(std::string_view bytes) {
  std::wstring result;
  if (bytes.empty() || bytes.size() > INT_MAX) return result;
  if (ConvertStrict(bytes, &result)) return result;
  // Something in there is not valid in the code page: go character by character, taking
  // the shortest sequence that converts (one byte, a double-byte pair, a UTF-8 sequence)
  // and replacing a byte that starts none.
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t taken = 0;
    for (size_t length = 1; length <= 4 && pos + length <= bytes.size(); ++length) {
      if (ConvertStrict(bytes.substr(pos, length), &result)) {
        taken = length;
        break;
      }
    }
    if (taken == 0) {
      result.push_back(kReplacement);
      taken = 1;
    }
    pos += taken;
  }
  return result;
}

}  // namespace nocunzip::platform
