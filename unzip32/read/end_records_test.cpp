// The end records and their choice, on archives built byte by byte: what is found where, and
// the archives whose end records readers follow to different entries.
#include "read/end_records.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "read/zip_format.h"
#include "testing/read_back.h"
#include "testing/test_archive.h"

namespace nocunzip::unzip32 {
namespace {

using testing::BuildRawZip;
using testing::ExpectReadings;
using testing::Patch16;
using testing::ReadArchive;
using testing::ReadBack;
using testing::StringReader;
using testing::TwoEntries;
using testing::WithZip64Records;

TEST(EndRecords, ReadsTheArchivesThatOtherToolsRead) {
  const size_t end_at = TwoEntries().size() - 22 - 7;
  std::string disks = TwoEntries();  // a single-file archive that fills in disk numbers anyway
  Patch16(disks, end_at + 4, 0);
  Patch16(disks, end_at + 6, 0);
  std::string long_comment = TwoEntries();  // the comment claims more bytes than the file has
  Patch16(long_comment, end_at + 20, 500);
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"plain", TwoEntries()},
      {"junk after the end record", TwoEntries() + std::string(300, 'j')},
      {"prefix, offsets from the ZIP data", std::string(1000, 'x') + TwoEntries()},
      {"disk numbers of a single-file archive", disks},
      {"comment longer than the file", long_comment},
  };
  for (const Case& c : cases) {
    const ReadBack back = ReadArchive(c.bytes);
    ASSERT_EQ(back.problem, "") << c.what;
    ASSERT_EQ(back.entries.size(), 2u) << c.what;
    EXPECT_EQ(back.entries[0].name, "a.txt") << c.what;
    EXPECT_EQ(back.data[0], "aaaa") << c.what;
    EXPECT_EQ(back.entries[1].name, "dir/b.txt") << c.what;
    EXPECT_EQ(back.entries[1].method, 8) << c.what;
  }
}

// What the end records give: where the directory lies, how far the recorded offsets move, and
// what stops the reading.
TEST(EndRecords, FindTheDirectoryAndHowFarItsOffsetsMove) {
  StringReader plain_reader(TwoEntries());
  const ArchiveEnd plain = FindArchiveEnd(plain_reader);
  ASSERT_EQ(plain.problem, EndProblem::kNone) << plain.message;
  std::string other_disk = TwoEntries();
  Patch16(other_disk, other_disk.size() - 22 - 7 + 4, 1);
  struct Case {
    const char* what;
    std::string bytes;
    EndProblem problem;
    uint64_t directory_offset;
    int64_t shift;
  } cases[] = {
      {"plain", TwoEntries(), EndProblem::kNone, plain.directory_offset, 0},
      {"junk after", TwoEntries() + "junk", EndProblem::kNone, plain.directory_offset, 0},
      {"1000 bytes in front", std::string(1000, 'x') + TwoEntries(), EndProblem::kNone,
       plain.directory_offset + 1000, 1000},
      {"empty", "", EndProblem::kEmptyFile, 0, 0},
      {"no end record", std::string(100, 'x'), EndProblem::kNotZip, 0, 0},
      {"the entries cut away", TwoEntries().substr(plain.directory_offset), EndProblem::kNone, 0,
       -static_cast<int64_t>(plain.directory_offset)},
      {"bytes cut out of the directory",
       TwoEntries().substr(0, plain.directory_offset + 10) +
           TwoEntries().substr(plain.directory_offset + 20),
       EndProblem::kDamaged, 0, 0},
      {"a disk number, the whole directory here", other_disk, EndProblem::kNone,
       plain.directory_offset, 0},
      {"the end record of another disk alone", other_disk.substr(other_disk.size() - 22 - 7),
       EndProblem::kSplit, 0, 0},
  };
  for (const Case& c : cases) {
    StringReader reader(c.bytes);
    const ArchiveEnd end = FindArchiveEnd(reader);
    EXPECT_EQ(end.problem, c.problem) << c.what << ": " << end.message;
    if (c.problem != EndProblem::kNone) continue;
    EXPECT_EQ(end.directory_offset, c.directory_offset) << c.what;
    EXPECT_EQ(end.shift, c.shift) << c.what;
    EXPECT_EQ(end.entry_count, 2u) << c.what;
    EXPECT_EQ(end.comment, "comment") << c.what;
  }
}

TEST(EndRecords, ShiftsOffsetsWithoutLeavingTheirRange) {
  struct Case {
    uint64_t offset;
    int64_t shift;
    bool fits;
    uint64_t shifted;
  } cases[] = {
      {0, 0, true, 0},           {5, -5, true, 0},
      {4, -5, false, 0},         {UINT64_MAX - 1, 1, true, UINT64_MAX},
      {UINT64_MAX, 1, false, 0}, {UINT64_MAX, INT64_MIN, true, UINT64_MAX - (uint64_t{1} << 63)},
      {0, INT64_MIN, false, 0},
  };
  for (const Case& c : cases) {
    uint64_t shifted = 0;
    EXPECT_EQ(ApplyShift(c.offset, c.shift, &shifted), c.fits) << c.offset << " " << c.shift;
    if (c.fits) {
      EXPECT_EQ(shifted, c.shifted) << c.offset << " " << c.shift;
    }
  }
}

// Archives whose end records or directories readers follow to different entries, each
// refused whole with a message that names both readings; and odd ones with one reading.
TEST(EndRecords, RefusesEndRecordsThatReadInMoreThanOneWay) {
  std::string count_low = testing::TwoEntriesWithoutComment();
  const std::string one_reading = count_low;
  Patch16(count_low, count_low.size() - 22 + 8, 1);
  Patch16(count_low, count_low.size() - 22 + 10, 1);
  // Two directories: the first record at the recorded offset, the second one (of the same
  // size) right before the end record.
  std::string two_directories =
      BuildRawZip({{.name = "a", .data = "1"}, {.name = "b", .data = "2"}});
  const size_t end_at = two_directories.size() - 22;
  Patch16(two_directories, end_at + 8, 1);
  Patch16(two_directories, end_at + 10, 1);
  Patch16(two_directories, end_at + 12, 47);
  // A copy of the end record inside its own comment: the copy, last in the file, leads to
  // no directory of its own.
  const std::string& kTwo = TwoEntries();
  const size_t two_end_at = kTwo.size() - 22 - 7;
  std::string copy_in_comment = kTwo.substr(0, two_end_at) + kTwo.substr(two_end_at, 20);
  Patch16(copy_in_comment, two_end_at + 20, 22);
  copy_in_comment += kTwo.substr(two_end_at, 22);
  // zip64 records with a locator but no record, and with a record on another disk.
  std::string stray_locator = WithZip64Records(one_reading, 2);
  stray_locator[one_reading.size() - 22] = 'X';
  std::string other_disk = WithZip64Records(one_reading, 2);
  Patch16(other_disk, one_reading.size() - 22 + 16, 1);
  // Counts on this disk and in all that differ.
  std::string disk_count = one_reading;
  Patch16(disk_count, disk_count.size() - 22 + 8, 1);
  // A locator that points near the end of the offsets, in an archive moved by a prefix.
  const int64_t near_end = INT64_MAX - static_cast<int64_t>(one_reading.size());
  const std::string far_locator =
      std::string(1000, 'x') + WithZip64Records(one_reading, 2, near_end);
  ExpectReadings({
      {"a second archive in the comment",
       BuildRawZip({{.name = "readme.txt", .data = "1"}},
                   BuildRawZip({{.name = "payload.sh", .data = "2"}})),
       "two end records or central directories that list different entries (entry 1 is readme.txt "
       "in one, "
       "payload.sh in the other)"},
      {"an empty archive's end record in the comment",
       kTwo.substr(0, kTwo.size() - 9) + std::string("\x16\0PK\x05\x06", 6) + std::string(18, '\0'),
       "list different entries"},
      {"a copy of the end record in its comment", copy_in_comment,
       "the last end record in the file leads to no central directory"},
      {"count", count_low, "the end record counts 1 entries, the central directory holds 2"},
      {"count on this disk", disk_count, "counts 1 entries on this disk and 2 in all"},
      {"two directories", two_directories, "entry 1 is b in one, a in the other"},
      {"zip64 count", WithZip64Records(one_reading, 3),
       "the zip64 end record counts 3 entries, the classic end record 2"},
      {"locator elsewhere", WithZip64Records(one_reading, 2, -10),
       "the zip64 locator points to offset"},
      {"locator without a record", stray_locator, "leads to no zip64 end record"},
      {"zip64 record on another disk", other_disk, "puts the directory on disk"},
      {"locator near the end of the offsets", far_locator, "the zip64 locator points to offset"},
      {"junk in front", std::string(100, 'x') + one_reading, ""},
      {"a stray zip64 record that agrees", WithZip64Records(one_reading, 2), ""},
  });
}

}  // namespace
}  // namespace nocunzip::unzip32
