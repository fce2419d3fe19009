#include <gtest/gtest.h>
#include <windows.h>

#include "platform/codepage.h"

namespace nocunzip::platform {
namespace {

TEST(CodePage, AsciiAndNulBytesPassBothWays) {
  const std::string bytes("C:\\Daten\\a.zip;\0x", 17);
  const std::wstring text(L"C:\\Daten\\a.zip;\0x", 17);
  EXPECT_EQ(ToAnsi(text), bytes);
  EXPECT_EQ(FromAnsi(bytes), text);
  EXPECT_EQ(ToAnsi(L""), "");
  EXPECT_EQ(FromAnsi(""), L"");
}

TEST(CodePage, UsesTheAnsiCodePageOfTheSystem) {
  if (GetACP() != 1252) GTEST_SKIP() << "the checks below are for code page 1252";
  EXPECT_EQ(ToAnsi(L"Grüße \u20AC"),
            "Gr\xFC\xDF"
            "e \x80");
  EXPECT_EQ(FromAnsi("Gr\xFC\xDF"
                     "e \x80"),
            L"Grüße \u20AC");
  // A character that the code page lacks becomes its default character.
  EXPECT_EQ(ToAnsi(L"a\u4E2Db"), "a?b");
}

TEST(CodePage, InvalidBytesBecomeReplacementCharacters) {
  CPINFO info;
  ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
  if (info.MaxCharSize == 1) {
    // In a single-byte code page every byte that the page defines converts one to one.
    std::string all;
    for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
    EXPECT_EQ(FromAnsi(all).size(), all.size());
  } else {
    // A lead byte at the very end has no second byte.
    std::wstring text = FromAnsi(std::string("ab") + static_cast<char>(info.LeadByte[0]));
    EXPECT_EQ(text, L"ab\uFFFD");
  }
}

TEST(CodePage, LongTextsSurviveWhole) {
  const std::wstring text(40000, L'a');
  EXPECT_EQ(FromAnsi(ToAnsi(text)), text);
}

}  // namespace
}  // namespace nocunzip::platform
