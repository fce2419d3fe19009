#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace nocunzip::platform {
namespace {

TEST(CodePage, RoundTripsTextOutsideAscii) {
  const std::wstring text = L"Grüße \u20AC \U0001F600 ;";
  const std::string bytes = ToAnsi(text);
  EXPECT_EQ(bytes,
            "Gr\xC3\xBC\xC3\x9F"
            "e \xE2\x82\xAC \xF0\x9F\x98\x80 ;");
  EXPECT_EQ(FromAnsi(bytes), text);
}

TEST(CodePage, InvalidBytesBecomeReplacementCharacters) {
  EXPECT_EQ(FromAnsi("a\xFF"
                     "b"),
            L"a\uFFFD"
            "b");
  // A sequence cut short at the end of the input.
  EXPECT_EQ(FromAnsi("x\xC3"), L"x\uFFFD");
  EXPECT_EQ(FromAnsi(std::string("\0z", 2)), std::wstring(L"\0z", 2));
}

// Each case: the bytes and the wide text they decode to.
TEST(CodePage, DecodesOnlyWellFormedUtf8) {
  const struct {
    std::string bytes;
    std::wstring text;
  } cases[] = {
      {"\xC3\xA4\xC3\xB6\xC3\xBC \xC3\x84\xC3\x96\xC3\x9C",
       L"\u00E4\u00F6\u00FC \u00C4\u00D6\u00DC"},
      {"\xC2\x80\xDF\xBF", L"\u0080\u07FF"},
      {"\xE0\xA0\x80\xEF\xBF\xBF", L"\u0800\uFFFF"},
      {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", L"\U00010000\U0010FFFF"},
      // Overlong forms: every byte of them is replaced.
      {"\xC0\x80", L"\uFFFD\uFFFD"},
      {"\xC1\xBF", L"\uFFFD\uFFFD"},
      {"\xE0\x9F\xBF", L"\uFFFD\uFFFD\uFFFD"},
      {"\xF0\x8F\xBF\xBF", L"\uFFFD\uFFFD\uFFFD\uFFFD"},
      // Surrogates and values above U+10FFFF, also in the old five- and six-byte forms.
      {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},
      {"\xED\x9F\xBF", L"\uD7FF"},
      {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"\xF8\x88\x80\x80\x80", std::wstring(5, L'\uFFFD')},
      {"\xFE\xFF", L"\uFFFD\uFFFD"},
      // A continuation byte alone, and a sequence broken off by ASCII.
      {"\x80"
       "a",
       L"\uFFFDa"},
      {"\xE2\x82"
       "a\xE2\x82\xAC",
       L"\uFFFD\uFFFDa\u20AC"},
      {"\xF0\x9F\x98", L"\uFFFD\uFFFD\uFFFD"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FromAnsi(c.bytes), c.text) << testing::PrintToString(c.bytes);
}

TEST(CodePage, WideCharactersOutsideUnicodeBecomeReplacementCharacters) {
  const wchar_t lone_surrogate = static_cast<wchar_t>(0xDC00);
  const wchar_t too_high = static_cast<wchar_t>(0x110000);
  const wchar_t negative = static_cast<wchar_t>(-1);
  EXPECT_EQ(ToAnsi(std::wstring{L'a', lone_surrogate, too_high, negative, L'b'}),
            "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(ToAnsi(L"\u007F\u0080\u07FF\u0800\uFFFF\U00010000\U0010FFFF"),
            "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF");
}

TEST(CodePage, LongTextsSurviveWhole) {
  std::wstring text(20000, L'\u00E4');
  EXPECT_EQ(ToAnsi(text).size(), 40000u);
  EXPECT_EQ(FromAnsi(ToAnsi(text)), text);
}

}  // namespace
}  // namespace nocunzip::platform
