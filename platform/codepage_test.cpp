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

TEST(CodePage, LongTextsSurviveWhole) {
  std::wstring text(20000, L'\u00E4');
  EXPECT_EQ(ToAnsi(text).size(), 40000u);
  EXPECT_EQ(FromAnsi(ToAnsi(text)), text);
}

}  // namespace
}  // namespace nocunzip::platform
