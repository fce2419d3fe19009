#include "plan/name_match.h"

#include <gtest/gtest.h>

namespace nocunzip::unzip32 {
namespace {

TEST(MatchesPattern, StarSpansAnyRunIncludingSlashes) {
  EXPECT_TRUE(MatchesPattern("*", "", true));
  EXPECT_TRUE(MatchesPattern("*.txt", "docs/readme.txt", true));
  EXPECT_TRUE(MatchesPattern("docs/*", "docs/sub/a.bin", true));
  EXPECT_TRUE(MatchesPattern("a*b*c", "aXXbYYbZc", true));
  EXPECT_FALSE(MatchesPattern("*.txt", "readme.txt.bak", true));
  EXPECT_FALSE(MatchesPattern("a*b*c", "aXXbYY", true));
}

TEST(MatchesPattern, QuestionMarkIsExactlyOneCharacter) {
  EXPECT_TRUE(MatchesPattern("file?.txt", "file1.txt", true));
  EXPECT_FALSE(MatchesPattern("file?.txt", "file.txt", true));
  EXPECT_FALSE(MatchesPattern("file?.txt", "file12.txt", true));
  // One UTF-8 character, not one byte.
  EXPECT_TRUE(MatchesPattern("gr??e",
                             "gr\xC3\xBC\xC3\x9F"
                             "e",
                             true));
  EXPECT_FALSE(MatchesPattern("gr????e",
                              "gr\xC3\xBC\xC3\x9F"
                              "e",
                              true));
}

TEST(MatchesPattern, CaseSensitivityAppliesToAsciiLetters) {
  EXPECT_FALSE(MatchesPattern("*.TXT", "a.txt", true));
  EXPECT_TRUE(MatchesPattern("*.TXT", "a.txt", false));
  EXPECT_TRUE(MatchesPattern("Docs/?EAD*", "docs/readme", false));
}

TEST(MatchesPattern, ManyStarsStayFast) {
  // Backtracking that is not linear would take ages here.
  const std::string name(5000, 'a');
  EXPECT_FALSE(MatchesPattern("*a*a*a*a*a*a*a*a*b", name, true));
}

}  // namespace
}  // namespace nocunzip::unzip32
