#include "read/entry_name.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "read/zip_format.h"
#include "read/oem_code_page.h"
#include "read/utf8.h"

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

}  // namespace
}  // namespace nocunzip::unzip32
