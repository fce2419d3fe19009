// Outside Windows the unzip library's 8-bit texts are UTF-8 and wide characters are UTF-32.
// Both directions are converted here directly: the library's print output passes through
// FromAnsi once for every line it prints, so the conversion must cost no set-up per call.
//
// Only well-formed UTF-8 is taken: no overlong forms, no surrogates, nothing above U+10FFFF.
// A byte that does not start a well-formed sequence becomes one U+FFFD and the next byte is
// looked at afresh, so a sequence cut short yields one U+FFFD for each of its bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace nocunzip::platform {
namespace {

static_assert(sizeof(wchar_t) == 4, "wide texts are UTF-32 outside Windows");

constexpr char32_t kReplacement = 0xFFFD;
constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes the sequence of two to four bytes at the start of `bytes`, whose first byte is not
// ASCII. Returns its length, or 0 when it is not well-formed.
size_t DecodeSequence(std::string_view bytes, char32_t* code) {
  const auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = at(0);
  size_t length = 0;
  // The range that the second byte must lie in; it excludes overlong forms, surrogates and
  // values above U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() < length || at(1) < low || at(1) > high) return 0;
  char32_t value = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if (!IsContinuation(at(i))) return 0;
    value = (value << 6) | (at(i) & 0x3F);
  }
  *code = value;
  return length;
}

void AppendUtf8(char32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (code >> 6)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (code >> 12)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (code >> 18)));
    out->push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

bool IsScalarValue(char32_t code) {
  return code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
}

}  // namespace

std::string ToAnsi(std::wstring_view text) {
  std::string result;
  result.reserve(text.size());
  for (wchar_t c : text) {
    const char32_t code = static_cast<char32_t>(static_cast<uint32_t>(c));
    if (IsScalarValue(code)) {
      AppendUtf8(code, &result);
    } else {
      result.append(kReplacementUtf8);
    }
  }
  return result;
}

std::wstring FromAnsi(std::string_view bytes) {
  std::wstring result;
  result.reserve(bytes.size());
  size_t pos = 0;
  while (pos < bytes.size()) {
    const unsigned char byte = static_cast<unsigned char>(bytes[pos]);
    if (byte < 0x80) {
      result.push_back(static_cast<wchar_t>(byte));
      ++pos;
      continue;
    }
    char32_t code = kReplacement;
    const size_t length = DecodeSequence(bytes.substr(pos), &code);
    result.push_back(static_cast<wchar_t>(code));
    pos += length == 0 ? 1 : length;
  }
  return result;
}

}  // namespace nocunzip::platform
