#include <gtest/gtest.h>
#include <windows.h>

#include <map>

#include "report/caller_text.h"
#include "report/caller_text_test.h"

namespace nocunzip::unzip32::testing {

// The expectations are written for Windows-1252, the ANSI code page of Western European
// systems and Wine's default.
bool CallerCodePageIsKnown() { return GetACP() == 1252; }

std::string CallerSpelling(const std::string& utf8) {
  static const std::map<std::string, std::string> kWindows1252 = {
      {"B\xC3\xBC"
       "cher",
       "B\xFC"
       "cher"},
      {"B\xC3\xBC"
       "cher/Stra\xC3\x9F"
       "e.txt",
       "B\xFC"
       "cher/Stra\xDF"
       "e.txt"},
      {"Gr\xC3\xBC\xC3\x9F"
       "e",
       "Gr\xFC\xDF"
       "e"},
      {"Gr\xC3\xB6\xC3\x9F"
       "e.txt",
       "Gr\xF6\xDF"
       "e.txt"},
  };
  const auto found = kWindows1252.find(utf8);
  if (found == kWindows1252.end()) {
    ADD_FAILURE() << "no Windows-1252 spelling for " << utf8;
    return utf8;
  }
  return found->second;
}

namespace {

class CallerTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CallerCodePageIsKnown()) GTEST_SKIP() << "ANSI code page " << GetACP() << ", not 1252";
  }
};

TEST_F(CallerTextTest, LibraryTextsReachTheCallerInTheAnsiCodePage) {
  EXPECT_EQ(ToCallerText("plain ASCII\n"), "plain ASCII\n");
  EXPECT_EQ(ToCallerText("B\xC3\xBC"
                         "cher/Stra\xC3\x9F"
                         "e.txt"),
            "B\xFC"
            "cher/Stra\xDF"
            "e.txt");
  EXPECT_EQ(ToCallerText("\xE2\x82\xAC 5"), "\x80 5");  // the euro sign has a place in 1252
  // A zero byte inside is kept, and so is everything after it.
  EXPECT_EQ(ToCallerText(std::string("a\0\xC3\xBC z", 6)), std::string("a\0\xFC z", 5));
}

TEST_F(CallerTextTest, MissingCharactersBecomeQuestionMarksWithoutCuttingTheText) {
  EXPECT_EQ(ToCallerText("\xE6\x97\xA5\xE6\x9C\xAC.txt"), "??.txt");
  // No look-alike: a Polish "L" with stroke is no plain "L".
  EXPECT_EQ(ToCallerText("\xC5\x81\xC3\xB3"
                         "d\xC5\xBA.txt"),
            "?\xF3"
            "d?.txt");
}

TEST_F(CallerTextTest, BytesThatAreNoUtf8PassUnchanged) {
  // Contents of an entry that is already in the ANSI code page, say.
  EXPECT_EQ(ToCallerText("Gr\xFC\xDF"
                         "e\r\n"),
            "Gr\xFC\xDF"
            "e\r\n");
  EXPECT_EQ(ToCallerText("cut \xC3"), "cut \xC3");
}

TEST_F(CallerTextTest, CallerTextsBecomeUtf8) {
  EXPECT_EQ(FromCallerText(""), "");
  EXPECT_EQ(FromCallerText("C:\\Ziel\\Gr\xF6\xDF"
                           "e"),
            "C:\\Ziel\\Gr\xC3\xB6\xC3\x9F"
            "e");
  EXPECT_EQ(FromCallerText("\x80"), "\xE2\x82\xAC");
  const std::string ansi = "\xC4\xD6\xDC\xE4\xF6\xFC\xDF";
  EXPECT_EQ(ToCallerText(FromCallerText(ansi)), ansi);
}

}  // namespace
}  // namespace nocunzip::unzip32::testing
