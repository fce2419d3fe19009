// Code page 437, the OEM code page of every system but Windows.
#include <gtest/gtest.h>

#include "read/entry_name.h"

namespace nocunzip::unzip32 {
namespace {

TEST(OemToUtf8, ReadsCodePage437) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain/ASCII\\~.txt", "plain/ASCII\\~.txt"},
      {"\x80\x81\x8E\x99\x9A", "\xC3\x87\xC3\xBC\xC3\x84\xC3\x96\xC3\x9C"},  // ÇüÄÖÜ
      {"\x9E", "\xE2\x82\xA7"},                                              // ₧
      {"\xB3\xC4\xDB", "\xE2\x94\x82\xE2\x94\x80\xE2\x96\x88"},              // │─█
      {"\xE1\xE3", "\xC3\x9F\xCF\x80"},                                      // ßπ
      {"\xFF", "\xC2\xA0"},                                                  // no-break space
  };
  for (const auto& [raw, utf8] : cases) EXPECT_EQ(OemToUtf8(raw), utf8);

  // Every byte of the upper half is one character of its own.
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    const std::string decoded = OemToUtf8(std::string(1, static_cast<char>(byte)));
    EXPECT_TRUE(IsValidUtf8(decoded)) << byte;
    EXPECT_GE(decoded.size(), 2u) << byte;
  }
}

}  // namespace
}  // namespace nocunzip::unzip32
