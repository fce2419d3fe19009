#include "entry_path.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(Map("a..b/c...").components, (Components{"a..b", "c..."}));
  EntryPath directory = Map("docs/sub/");
  EXPECT_TRUE(directory.is_directory);
  EXPECT_EQ(directory.components, (Components{"docs", "sub"}));
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
  EXPECT_EQ(Map("./").problem, NameProblem::kEmpty);
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
