#include "read/utf8.h"

#include <gtest/gtest.h>

namespace nocunzip::unzip32 {
namespace {

TEST(Utf8, ValidatesStrictlyAndRepairsByteByByte) {
  struct Case {
    const char* what;
    std::string text;
    bool valid;
    std::string repaired;  // for invalid text
  };
  const std::string fffd = "\xEF\xBF\xBD";
  const Case cases[] = {
      {"ASCII", "a/b.txt", true, ""},
      {"two, three and four bytes", "\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80", true, ""},
      {"highest code point", "\xF4\x8F\xBF\xBF", true, ""},
      {"overlong slash", "\xC0\xAF", false, fffd + fffd},
      {"overlong three bytes", "\xE0\x80\xAF", false, fffd + fffd + fffd},
      {"overlong four bytes", "\xF0\x80\x80\xAF", false, fffd + fffd + fffd + fffd},
      {"surrogate", "a\xED\xA0\x80", false, "a" + fffd + fffd + fffd},
      {"above U+10FFFF", "\xF4\x90\x80\x80", false, fffd + fffd + fffd + fffd},
      {"lone continuation", "a\x80z", false, "a" + fffd + "z"},
      {"truncated at the end", "ab\xE2\x82", false, "ab" + fffd + fffd},
      {"lead byte followed by ASCII", "\xC3z", false, fffd + "z"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(IsValidUtf8(c.text), c.valid);
    const std::string repaired = RepairUtf8(c.text);
    EXPECT_EQ(repaired, c.valid ? c.text : c.repaired);
    EXPECT_TRUE(IsValidUtf8(repaired));
  }
}

TEST(Utf8, AppendsEveryLengthAndReplacesWhatIsNoCharacter) {
  const std::pair<char32_t, std::string> cases[] = {
      {U'A', "A"},
      {0xFC, "\xC3\xBC"},
      {0x20AC, "\xE2\x82\xAC"},
      {0x1F600, "\xF0\x9F\x98\x80"},
      {0xD800, "\xEF\xBF\xBD"},
      {0x110000, "\xEF\xBF\xBD"},
  };
  for (const auto& [code_point, expected] : cases) {
    std::string out = "x";
    AppendUtf8(code_point, &out);
    EXPECT_EQ(out, "x" + expected) << static_cast<uint32_t>(code_point);
  }
}

}  // namespace
}  // namespace nocunzip::unzip32
