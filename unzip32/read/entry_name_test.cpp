// Names and paths: decoding entry names, the UTF-8 that names need, and the paths that
// names stand for.
#include "read/entry_name.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

// The data of a 0x7075 field for the stored name `raw`.
std::string UnicodePath(std::string_view raw, std::string_view name, unsigned version = 1,
                        uint32_t crc_offset = 0) {
  std::string field(1, static_cast<char>(version));
  const uint32_t crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(raw.data()), static_cast<uInt>(raw.size())));
  Put32(field, crc + crc_offset);
  field += name;
  return field;
}

TEST(DecodeEntryName, PicksTheFlagTheFieldUtf8OrTheOemCodePageInThatOrder) {
  constexpr uint16_t kUtf8 = zip::kFlagUtf8;
  const std::string latin1 =
      "\xFC"
      "ber.txt";  // ü in Latin-1: no UTF-8
  const std::string cp437 =
      "\x81"
      "ber.txt";  // ü in code page 437
  struct Case {
    const char* what;
    std::string raw;
    uint16_t flags;
    std::string field;
    std::string expected;  // empty: the OEM code page's reading of raw
  };
  const Case cases[] = {
      {"flagged UTF-8",
       "\xC3\xBC"
       "ber.txt",
       kUtf8, "",
       "\xC3\xBC"
       "ber.txt"},
      {"flagged but invalid: repaired", latin1, kUtf8, "",
       "\xEF\xBF\xBD"
       "ber.txt"},
      {"flag wins over the field", "a.txt", kUtf8, UnicodePath("a.txt", "b.txt"), "a.txt"},
      {"field with matching CRC", cp437, 0,
       UnicodePath(cp437,
                   "\xC3\xBC"
                   "ber.txt"),
       "\xC3\xBC"
       "ber.txt"},
      {"field naming another directory", "a.txt", 0, UnicodePath("a.txt", "d/a.txt"), "d/a.txt"},
      {"stale field: CRC of another name", cp437, 0, UnicodePath(cp437, "x.txt", 1, 1), ""},
      {"field of an unknown version", cp437, 0, UnicodePath(cp437, "x.txt", 2), ""},
      {"field with invalid UTF-8", cp437, 0, UnicodePath(cp437, latin1), ""},
      {"field with no name", cp437, 0, UnicodePath(cp437, ""), ""},
      {"truncated field", cp437, 0, UnicodePath(cp437, "").substr(0, 3), ""},
      {"unflagged valid UTF-8", "\xE6\x97\xA5/a.txt", 0, "", "\xE6\x97\xA5/a.txt"},
      {"plain ASCII", "docs/a.txt", 0, "", "docs/a.txt"},
      {"unflagged invalid: OEM", latin1, 0, "", ""},
      // An overlong "/" must not become a separator.
      {"overlong slash: OEM",
       "a\xC0\xAF"
       "b",
       0, "", ""},
      {"surrogate: OEM", "\xED\xA0\x80", 0, "", ""},
      {"above U+10FFFF: OEM", "\xF4\x90\x80\x80", 0, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string decoded = DecodeEntryName(c.raw, c.flags, c.field);
    EXPECT_EQ(decoded, c.expected.empty() ? OemToUtf8(c.raw) : c.expected);
    EXPECT_TRUE(IsValidUtf8(decoded));
    if (c.expected.empty()) {
      EXPECT_NE(decoded, c.raw);
    }
  }
}

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

TEST(EntryKey, EverySpellingOfOnePathHasOneKey) {
  for (const char* name :
       {"a/b", "a//b", "./a/b", "a/./b", "a\\b", "a/b/.", "a/b/", "/a/b", "a\\.\\b\\"}) {
    EXPECT_EQ(NormalisedPath(name), "a/b") << name;
  }
  EXPECT_EQ(NormalisedPath("."), "");
  EXPECT_EQ(NormalisedPath("./."), "");
  EXPECT_EQ(NormalisedPath("a/../b"), "a/../b") << "\"..\" is refused later, not resolved";
  EXPECT_EQ(NormalisedPath("a../.b"), "a../.b");
}

TEST(EntryKey, GivesThePathsThatOtherReadersMakeOfDotDot) {
  using Paths = std::vector<std::string>;
  EXPECT_EQ(PathsWithoutDotDot("../a/b"), (Paths{"a/b"}));
  EXPECT_EQ(PathsWithoutDotDot("c/../a/b"), (Paths{"c/a/b", "a/b"}));
  EXPECT_EQ(PathsWithoutDotDot("a/../../a/b"), (Paths{"a/a/b", "a/b"}));
  EXPECT_EQ(PathsWithoutDotDot("x/y/../../b"), (Paths{"x/y/b", "b"}));
  EXPECT_EQ(PathsWithoutDotDot("a/.."), (Paths{"a"})) << "resolved, nothing is left";
  EXPECT_EQ(PathsWithoutDotDot("../.."), Paths{});
  EXPECT_EQ(PathsWithoutDotDot("a../..b/c"), Paths{}) << "dots inside a component are bytes";
}

TEST(EntryKey, TellsDirectoriesByTheirNames) {
  for (const char* name : {"d/", "d\\", "d/.", ".", "./.", "d//"})
    EXPECT_TRUE(NameMarksDirectory(name)) << name;
  for (const char* name : {"d", "d/..", "d/.x", "", "d./"}) {
    EXPECT_EQ(NameMarksDirectory(name), std::string_view(name).ends_with("/")) << name;
  }
}

TEST(EntryKey, FoldsCaseOnlyWhereFileSystemsIgnoreIt) {
#ifdef _WIN32
  EXPECT_EQ(FileSystemKey("Docs/\xC3\xA4rger.TXT"), FileSystemKey("DOCS/\xC3\x84RGER.txt"));
#else
  EXPECT_NE(FileSystemKey("Docs/a.txt"), FileSystemKey("docs/a.txt"));
#endif
  EXPECT_NE(HashKey("a/b"), HashKey("a/c"));
  EXPECT_EQ(HashKey("a/b"), HashKey(NormalisedPath("a//b")));
}

}  // namespace
}  // namespace nocunzip::unzip32
