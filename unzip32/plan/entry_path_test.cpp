#include "plan/entry_path.h"

#include <gtest/gtest.h>

#include "read/entry_name.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

using Components = std::vector<std::string>;

EntryPath Map(std::string_view name, bool honor = true, bool underscore = false) {
  PathRules rules;
  rules.honor_directories = honor;
  rules.space_to_underscore = underscore;
  return MapEntryName(name, rules);
}

TEST(MapEntryName, KeepsRelativePathsAndDropsDotsAndEmptyParts) {
  EXPECT_EQ(Map("docs/sub/a.txt").components, (Components{"docs", "sub", "a.txt"}));
  EXPECT_EQ(Map("./docs//a.txt").components, (Components{"docs", "a.txt"}));
  EXPECT_EQ(Map("a..b/...c").components, (Components{"a..b", "...c"}));
  EntryPath directory = Map("docs/sub/");
  EXPECT_TRUE(directory.is_directory);
  EXPECT_EQ(directory.components, (Components{"docs", "sub"}));
  // A last "." component names the directory before it, not a file of that name.
  EntryPath dotted = Map("docs/sub/.");
  EXPECT_TRUE(dotted.is_directory);
  EXPECT_EQ(dotted.components, (Components{"docs", "sub"}));
  EXPECT_EQ(Map("./.").problem, NameProblem::kTargetItself);
}

TEST(MapEntryName, RefusesEverythingThatLeavesTheTarget) {
  EXPECT_EQ(Map("/etc/passwd").problem, NameProblem::kAbsolute);
  EXPECT_EQ(Map("\\windows\\system.ini").problem, NameProblem::kAbsolute);
  EXPECT_EQ(Map("C:/boot.ini").problem, NameProblem::kDriveLetter);
  EXPECT_EQ(Map("c:boot.ini").problem, NameProblem::kDriveLetter);
  EXPECT_EQ(Map("../evil").problem, NameProblem::kParentReference);
  EXPECT_EQ(Map("docs/../../evil").problem, NameProblem::kParentReference);
  EXPECT_EQ(Map("docs\\..\\..\\evil").problem, NameProblem::kParentReference);
  EXPECT_EQ(Map("docs/..").problem, NameProblem::kParentReference);
  // Without directories the name is cut to its base only after the check.
  EXPECT_EQ(Map("../evil", false).problem, NameProblem::kParentReference);
  EXPECT_EQ(Map("").problem, NameProblem::kEmpty);
  EXPECT_EQ(Map("./").problem, NameProblem::kTargetItself);
}

TEST(MapEntryName, TellsTheTargetItselfFromAnEmptyName) {
  const std::pair<const char*, NameProblem> cases[] = {
      {"", NameProblem::kEmpty},
      {".", NameProblem::kTargetItself},
      {"./", NameProblem::kTargetItself},
      {".\\.//", NameProblem::kTargetItself},
      {"./a", NameProblem::kNone},
      {"/", NameProblem::kAbsolute},
      {"./..", NameProblem::kParentReference},
  };
  for (const auto& [name, problem] : cases) {
    EXPECT_EQ(Map(name).problem, problem) << name;
    EXPECT_EQ(Map(name, false).problem, problem) << name;
  }
}

// Names are split only once decoded: a byte 0x5C inside a character is no separator.
TEST(MapEntryName, SplitsDecodedNames) {
  const std::string sjis = "\x95\x5C\x8E\xA6.txt";  // 表示.txt in Shift-JIS: 0x5C inside 表
  struct Case {
    const char* what;
    std::string raw;
    uint16_t flags;
    bool with_field;  // a 0x7075 field that gives the name as 表示.txt
    Components expected;
  };
  const Case cases[] = {
      {"flagged UTF-8",
       "\xE6\x97\xA5\xE6\x9C\xAC/\xE8\xA1\xA8.txt",
       zip::kFlagUtf8,
       false,
       {"\xE6\x97\xA5\xE6\x9C\xAC", "\xE8\xA1\xA8.txt"}},
      {"unflagged UTF-8 with back slash",
       "\xE8\xA1\xA8\\a.txt",
       0,
       false,
       {"\xE8\xA1\xA8", "a.txt"}},
      {"Shift-JIS with its Unicode path", sjis, 0, true, {"\xE8\xA1\xA8\xE7\xA4\xBA.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string field;
    if (c.with_field) {
      field = "\x01";
      Put32(field, 0x9E71A7FBu);  // CRC-32 of the Shift-JIS name
      field += "\xE8\xA1\xA8\xE7\xA4\xBA.txt";
    }
    const EntryPath path = Map(DecodeEntryName(c.raw, c.flags, field));
    EXPECT_EQ(path.problem, NameProblem::kNone);
    EXPECT_EQ(path.components, c.expected);
  }
}

TEST(MapEntryName, BackSlashSeparatesComponents) {
  EXPECT_EQ(Map("docs\\a.txt").components, (Components{"docs", "a.txt"}));
}

TEST(MapEntryName, WithoutDirectoriesKeepsOnlyTheBaseName) {
  EXPECT_EQ(Map("docs/sub/a.txt", false).components, (Components{"a.txt"}));
  EntryPath directory = Map("docs/sub/", false);
  EXPECT_EQ(directory.problem, NameProblem::kNone);
  EXPECT_TRUE(directory.components.empty());
}

TEST(MapEntryName, SpacesBecomeUnderscoresOnRequest) {
  EXPECT_EQ(Map("my docs/a b.txt", true, true).components, (Components{"my_docs", "a_b.txt"}));
  EXPECT_EQ(Map("my docs/a b.txt").components, (Components{"my docs", "a b.txt"}));
}

}  // namespace
}  // namespace nocunzip::unzip32
