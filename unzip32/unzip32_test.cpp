// The entry points themselves: the version record and calls with missing records.
#include "unzip32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

namespace {

TEST(UzpVersion2, FillsTheRecordOfTheRightLength) {
  UzVersionRecord record{};
  record.StructureLength = UZ_VERSION_RECORD_LENGTH;
  std::memset(record.Version, ' ', sizeof record.Version - 1);
  ASSERT_EQ(UzpVersion2(&record), 0);
  EXPECT_STREQ(record.Version, "1.0.0");
  EXPECT_STREQ(record.Date, "2026-12-08");
  EXPECT_EQ(std::string(record.ZlibVersion), std::string(zlibVersion()).substr(0, 9));
  EXPECT_EQ(record.VersionMajor, 1u);
  EXPECT_EQ(record.StructureLength, static_cast<uint32_t>(UZ_VERSION_RECORD_LENGTH));
}

TEST(UzpVersion2, LeavesARecordOfAnotherLengthAlone) {
  UzVersionRecord record{};
  record.StructureLength = 60;
  std::memset(record.Version, ' ', sizeof record.Version - 1);
  EXPECT_EQ(UzpVersion2(&record), 1);
  EXPECT_STREQ(record.Version, "         ");
  EXPECT_EQ(UzpVersion2(nullptr), 1);
}

TEST(WizSingleEntryUnzip, MissingRecordsAreRefused) {
  UzCallbackRecord callbacks{};
  EXPECT_EQ(Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, nullptr, &callbacks), UZ_ERR_ARCHIVE);
  UzOptionsRecord options{};
  EXPECT_EQ(Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, &options, nullptr), UZ_ERR_ARCHIVE);
  // No archive name, and no callbacks to print through: still a clean failure.
  EXPECT_EQ(Wiz_SingleEntryUnzip(0, nullptr, 0, nullptr, &options, &callbacks), UZ_ERR_ARCHIVE);
}

}  // namespace
