// Fuzz target: GetField with an arbitrary text, field number and delimiter.
//
// Input: two bytes of the field number (signed, little-endian), one byte whose low two
// bits give the delimiter's length (0 to 3), the delimiter's characters, then the text.
// Every byte is one character (its value as the code point), so that blanks, ";" and
// characters beyond ASCII all occur.
//
// The result is compared with a plain split of the text: fields counted from 1, every
// delimiter ends a field, a text of blanks only or a delimiter that is not exactly one
// character gives the rules for those cases.
#include <cstdint>
#include <string>
#include <vector>

#include "app/setup.h"
#include "fuzz/fuzz_support.h"

namespace {

std::wstring ExpectedField(const std::wstring& text, int16_t n, const std::wstring& delimiter) {
  if (text.find_first_not_of(L' ') == std::wstring::npos) return L"";
  if (delimiter.size() != 1) return n == 1 ? text : L"";
  std::vector<std::wstring> fields(1);
  for (wchar_t c : text) {
    if (c == delimiter[0]) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  if (n < 1 || static_cast<size_t>(n) > fields.size()) return L"";
  return fields[static_cast<size_t>(n - 1)];
}

std::string Show(const std::wstring& text) {
  std::string shown;
  for (wchar_t c : text) {
    if (c >= 0x20 && c < 0x7f) {
      shown += static_cast<char>(c);
    } else {
      shown += "\\x" + std::to_string(static_cast<unsigned>(c));
    }
  }
  return "\"" + shown + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  int16_t n = static_cast<int16_t>(data[0] | (data[1] << 8));
  size_t delimiter_length = data[2] & 3;
  if (size < 3 + delimiter_length) return 0;
  std::wstring delimiter(data + 3, data + 3 + delimiter_length);
  std::wstring text(data + 3 + delimiter_length, data + size);

  std::wstring field = nocunzip::GetField(text, n, delimiter);
  std::wstring expected = ExpectedField(text, n, delimiter);
  if (field != expected) {
    nocunzip::fuzz::Fail("GetField(" + Show(text) + ", " + std::to_string(n) + ", " +
                         Show(delimiter) + ") gave " + Show(field) + ", expected " +
                         Show(expected));
  }
  return 0;
}
