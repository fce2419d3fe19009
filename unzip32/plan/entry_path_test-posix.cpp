// What POSIX file names hold, and a name in the OEM code page on its way to a path.
#include <gtest/gtest.h>

#include "plan/entry_path.h"
#include "read/entry_name.h"

namespace nocunzip::unzip32 {
namespace {

TEST(IsAllowedComponent, RefusesOnlyNulOnPosix) {
  std::string why;
  for (const char* name : {"CON", "a:b", "trailing. ", "x<y>|?*", "\x01", "PROGRA~1"}) {
    EXPECT_TRUE(IsAllowedComponent(name, &why)) << name;
  }
  EXPECT_FALSE(IsAllowedComponent(std::string("a\0b", 3), &why));
  EXPECT_EQ(why, "holds a NUL character");

  // Trailing dots are part of the name; only Windows drops them.
  EXPECT_EQ(MapEntryName("a..b/c...", PathRules{}).components,
            (std::vector<std::string>{"a..b", "c..."}));

  const EntryPath path = MapEntryName(std::string("d/a\0b", 5), PathRules{});
  EXPECT_EQ(path.problem, NameProblem::kNotAllowedHere);
  EXPECT_TRUE(path.components.empty());
  EXPECT_NE(DescribeRefusal(path).find("NUL"), std::string::npos) << DescribeRefusal(path);
}

TEST(IsAllowedComponent, RefusesNamesLongerThanLinuxHolds) {
  std::string why;
  EXPECT_TRUE(IsAllowedComponent(std::string(255, 'a'), &why));
  EXPECT_FALSE(IsAllowedComponent(std::string(256, 'a'), &why));
  EXPECT_EQ(why, "is 256 bytes long; file names here hold 255 at most");
  // 128 two-byte characters: 256 bytes.
  std::string umlauts;
  for (int i = 0; i < 128; ++i) umlauts += "Ã¤";
  const EntryPath path = MapEntryName("dir/" + umlauts, PathRules{});
  EXPECT_EQ(path.problem, NameProblem::kNotAllowedHere);
}

// Code page 437 has no double-byte characters: a Shift-JIS name without its Unicode path
// is read byte by byte, and its 0x5C is the back slash that it is in code page 437.
TEST(MapEntryName, ReadsShiftJisWithoutItsUnicodePathAsCodePage437) {
  const std::string sjis = "\x95\x5C\x8E\xA6.txt";  // 表示.txt
  const EntryPath path = MapEntryName(DecodeEntryName(sjis, 0, ""), PathRules{});
  EXPECT_EQ(path.problem, NameProblem::kNone);
  EXPECT_EQ(path.components, (std::vector<std::string>{"\xC3\xB2", "\xC3\x84\xC2\xAA.txt"}));
}

}  // namespace
}  // namespace nocunzip::unzip32
