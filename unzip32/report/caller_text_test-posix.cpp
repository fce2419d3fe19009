#include <gtest/gtest.h>

#include "report/caller_text.h"
#include "report/caller_text_test.h"

namespace nocunzip::unzip32::testing {

bool CallerCodePageIsKnown() { return true; }

// Callers on POSIX systems read UTF-8.
std::string CallerSpelling(const std::string& utf8) { return utf8; }

namespace {

TEST(CallerTextTest, TextsPassUnchangedBothWays) {
  const std::string texts[] = {
      "",
      "plain ASCII\n",
      "B\xC3\xBC"
      "cher/Stra\xC3\x9F"
      "e.txt",
      "\xE6\x97\xA5\xE6\x9C\xAC.txt",   // no 8-bit code page holds these
      "m\x81sli \xFC\xFF",              // no UTF-8 at all
      std::string("a\0\xC3\xBC z", 6),  // a zero byte inside
  };
  for (const std::string& text : texts) {
    EXPECT_EQ(ToCallerText(text), text);
    EXPECT_EQ(FromCallerText(text), text);
  }
}

}  // namespace
}  // namespace nocunzip::unzip32::testing
