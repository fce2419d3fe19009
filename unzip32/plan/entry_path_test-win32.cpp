// The names that Windows reads as something else than the plain file names they look like.
#include <gtest/gtest.h>

#include "plan/entry_path.h"

namespace nocunzip::unzip32 {
namespace {

TEST(IsAllowedComponent, RefusesWhatWindowsReadsAsSomethingElse) {
  const std::pair<const char*, const char*> cases[] = {
      // name, part of the reason (nullptr: allowed)
      {"a.txt", nullptr},        {"CONSOLE.txt", nullptr},  {"COM10", nullptr},
      {"LPT", nullptr},          {"a..b", nullptr},         {"\xE8\xA1\xA8.txt", nullptr},
      {"CON", "device"},         {"con.txt", "device"},     {"Nul .tar.gz", "device"},
      {"COM1", "device"},        {"lpt9.log", "device"},    {"COM\xC2\xB9", "device"},
      {"CONOUT$", "device"},     {"a:b", "data stream"},    {"file.txt::$DATA", "data stream"},
      {"a<b", "reserves"},       {"a|b", "reserves"},       {"what?", "reserves"},
      {"*", "reserves"},         {"quote\"d", "reserves"},  {"tab\there", "control"},
      {"name.", "dot or blank"}, {"name ", "dot or blank"}, {"..", "not the name of a file"},
      {"bad\xFFutf8", "UTF-8"},
  };
  for (const auto& [name, reason] : cases) {
    SCOPED_TRACE(name);
    std::string why;
    EXPECT_EQ(IsAllowedComponent(name, &why), reason == nullptr);
    if (reason != nullptr) {
      EXPECT_NE(why.find(reason), std::string::npos) << why;
    }
  }
}

TEST(MapEntryName, RefusesComponentsThatWindowsCannotHold) {
  const EntryPath path = MapEntryName("docs/aux.c", PathRules{});
  EXPECT_EQ(path.problem, NameProblem::kNotAllowedHere);
  EXPECT_TRUE(path.components.empty());
  EXPECT_NE(DescribeRefusal(path).find("aux.c"), std::string::npos) << DescribeRefusal(path);
  EXPECT_EQ(MapEntryName("a..b/c...", PathRules{}).problem, NameProblem::kNotAllowedHere);
  // Only what is written counts: without directories the directory names are not.
  PathRules flat;
  flat.honor_directories = false;
  EXPECT_EQ(MapEntryName("CON/a.txt", flat).components, (std::vector<std::string>{"a.txt"}));
}

TEST(IsAllowedComponent, RefusesNamesLongerThanWindowsHolds) {
  std::string why;
  // 255 UTF-16 units: 255 two-byte characters fit, 128 characters past U+FFFF (two units
  // each) do not.
  std::string umlauts;
  for (int i = 0; i < 255; ++i) umlauts += "\xC3\xA4";
  EXPECT_TRUE(IsAllowedComponent(umlauts, &why)) << why;
  std::string emoji;
  for (int i = 0; i < 128; ++i) emoji += "\xF0\x9F\x98\x80";
  EXPECT_FALSE(IsAllowedComponent(emoji, &why));
  EXPECT_NE(why.find("255"), std::string::npos) << why;
  EXPECT_FALSE(IsAllowedComponent(std::string(256, 'a'), &why));
}

}  // namespace
}  // namespace nocunzip::unzip32
