// The first pass's checks, on whole archives: overlaps, names that stand for one path,
// directories with data, and every truncation and byte flip.
#include "read/archive_scan.h"

#include <gtest/gtest.h>

#include <random>

#include "read/end_records.h"
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

TEST(ArchiveScan, RefusesDamagedAndHostileLayouts) {
  std::string count = BuildRawZip({{.name = "a", .data = "x"}});
  Patch16(count, count.size() - 22 + 8, 0xFFFF);
  Patch16(count, count.size() - 22 + 10, 0xFFFF);
  struct Case {
    const char* what;
    std::string bytes;
    const char* says;
  } cases[] = {
      {"empty", "", "empty"},
      {"text", "just some text that is long enough to hold a record", "not a ZIP archive"},
      {"shared data",
       BuildRawZip({{.name = "a", .data = "xxxxxxxx"}, {.name = "b", .share_local_header_of = 0}}),
       "entries a and b overlap"},
      {"data into the next entry",
       BuildRawZip(
           {{.name = "a", .data = "xxxx", .declared_compressed = 5}, {.name = "b", .data = "y"}}),
       "overlap"},
      {"data into the directory",
       BuildRawZip({{.name = "last", .data = "xxxx", .declared_compressed = 200}}), "last"},
      {"more entries than the directory holds", count, "damaged"},
  };
  for (const Case& c : cases) {
    const ReadBack back = ReadArchive(c.bytes);
    EXPECT_NE(back.problem.find(c.says), std::string::npos) << c.what << ": " << back.problem;
  }
}

TEST(ArchiveScan, NamesThatDifferOnlyInCaseAreTwinsWhereFileSystemsIgnoreCase) {
  StringReader reader(BuildRawZip({{.name = "Read.me", .data = "1"},
                                   {.name = "x", .data = "2"},
                                   {.name = "READ.ME", .data = "3"}}));
  const ArchiveEnd end = FindArchiveEnd(reader);
  const ScanResult scan = ScanArchive(reader, end, [](const Entry&) {});
  ASSERT_TRUE(scan.ok()) << scan.message;
#ifdef _WIN32
  ASSERT_EQ(scan.case_twins.size(), 1u);
  EXPECT_EQ(scan.case_twins[0].index, 2u);
  EXPECT_EQ(scan.case_twins[0].earlier_name, "Read.me");
#else
  EXPECT_TRUE(scan.case_twins.empty());
#endif
}

TEST(ArchiveScan, FindsOverlapsInArchivesOutOfOrder) {
  // The directory lists b before a; b's declared data run into a.
  std::string bytes = BuildRawZip({{.name = "a", .data = "aaaa"},
                                   {.name = "b", .data = "bbbb", .declared_compressed = 6},
                                   {.name = "c", .data = "cccc"}});
  const ReadBack in_order = ReadArchive(bytes);
  EXPECT_NE(in_order.problem.find("entries b and c overlap"), std::string::npos)
      << in_order.problem;
  // Swap the first two central records (each 46 + 1 bytes).
  const size_t directory = bytes.size() - 22 - 3 * 47;
  std::string swapped = bytes.substr(0, directory) + bytes.substr(directory + 47, 47) +
                        bytes.substr(directory, 47) + bytes.substr(directory + 94);
  const ReadBack back = ReadArchive(swapped);
  EXPECT_NE(back.problem.find("overlap"), std::string::npos) << back.problem;

  // Out of order too, the bytes between entries are walked as a streaming reader walks them.
  std::string junk = "JUNK";
  Put32(junk, 0x04034b50);
  std::string gap = BuildRawZip({{.name = "a", .data = "aaaa", .after = junk},
                                 {.name = "b", .data = "bbbb"},
                                 {.name = "c", .data = "cccc"}});
  const size_t gap_directory = gap.size() - 22 - 3 * 47;
  gap = gap.substr(0, gap_directory) + gap.substr(gap_directory + 47, 47) +
        gap.substr(gap_directory, 47) + gap.substr(gap_directory + 94);
  const ReadBack walked = ReadArchive(gap);
  EXPECT_NE(walked.problem.find("between entry a and entry b lie 8 bytes that hold a local header"),
            std::string::npos)
      << walked.problem;
}

TEST(ArchiveScan, EveryTruncationAndByteFlipIsHandled) {
  // Cut anywhere before the comment, the archive is refused; a comment cut short is
  // tolerated.
  const size_t comment_at = TwoEntries().size() - std::string("comment").size();
  for (size_t keep = 0; keep < TwoEntries().size(); ++keep) {
    EXPECT_EQ(ReadArchive(TwoEntries().substr(0, keep)).problem == "", keep >= comment_at) << keep;
  }
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    std::string bytes = TwoEntries();
    for (int flips = 0; flips < 3; ++flips)
      bytes[random() % bytes.size()] = static_cast<char>(random());
    const ReadBack back = ReadArchive(bytes);  // must neither crash nor read out of bounds
    for (size_t i = 0; i < back.data.size(); ++i) {
      EXPECT_EQ(back.data[i].size(), back.entries[i].compressed_size);
    }
  }
}

// Directories with data and names that stand for one path, each refused whole; a directory
// named twice and names of the target itself, read.
TEST(ArchiveScan, RefusesEntriesThatReadersWriteInMoreThanOneWay) {
  ExpectReadings({
      {"directory with data", BuildRawZip({{.name = "d/", .data = "x"}}),
       "entry d/ is marked as a directory but holds 1 bytes"},
      {"DOS directory with data",
       BuildRawZip({{.name = "d", .data = "x", .external_attributes = 0x10}}),
       "marked as a directory"},
      {"d/. with data", BuildRawZip({{.name = "d/.", .data = "x"}}), "marked as a directory"},
      {". with data", BuildRawZip({{.name = ".", .data = "x"}}), "marked as a directory"},
      {"one name twice", BuildRawZip({{.name = "a", .data = "1"}, {.name = "a", .data = "2"}}),
       "entries a and a both name the path a"},
      {"a//b", BuildRawZip({{.name = "a/b", .data = "1"}, {.name = "a//b", .data = "2"}}),
       "both name the path a/b"},
      {"./a/b", BuildRawZip({{.name = "a/b", .data = "1"}, {.name = "./a/b", .data = "2"}}),
       "both name the path a/b"},
      {"a/./b", BuildRawZip({{.name = "a/b", .data = "1"}, {.name = "a/./b", .data = "2"}}),
       "both name the path a/b"},
      {"a\\b", BuildRawZip({{.name = "a/b", .data = "1"}, {.name = "a\\b", .data = "2"}}),
       "both name the path a/b"},
      {"a/b/.",
       BuildRawZip({{.name = "a/b/"}, {.name = "a/b/.", .data = ""}, {.name = "a/b", .data = "2"}}),
       "both name the path a/b"},
      {"leading /", BuildRawZip({{.name = "a", .data = "1"}, {.name = "/a", .data = "2"}}),
       "both name the path a"},
      {"../a/b beside a/b",
       BuildRawZip({{.name = "a/b", .data = "1"}, {.name = "../a/b", .data = "2"}}),
       "entry ../a/b names the path a/b of entry a/b"},
      {"c/../a/b before a/b: resolved",
       BuildRawZip({{.name = "c/../a/b", .data = "1"}, {.name = "a/b", .data = "2"}}),
       "entry c/../a/b names the path a/b of entry a/b"},
      {"c/../a/b beside c/a/b: dropped",
       BuildRawZip({{.name = "c/a/b", .data = "1"}, {.name = "c/../a/b", .data = "2"}}),
       "entry c/../a/b names the path c/a/b of entry c/a/b"},
      {"a dotted directory beside a file",
       BuildRawZip({{.name = "../d/"}, {.name = "d", .data = "2"}}),
       "entry ../d/ names the path d of entry d"},
      {"a directory twice",
       BuildRawZip({{.name = "d/"}, {.name = "d//"}, {.name = "d/f", .data = "x"}}), ""},
      {"the target itself without data",
       BuildRawZip({{.name = "./"}, {.name = "."}, {.name = "f", .data = "x"}}), ""},
  });
}

// The count of the end records against the entries read: in full with zip64 records, else in
// its low 16 bits, as writers that know no zip64 let it wrap. Every entry read is shown to the
// visitor, also those before a problem.
TEST(ArchiveScan, HoldsTheCountAgainstTheEntriesAndShowsEachEntryRead) {
  StringReader reader(TwoEntries());
  const ArchiveEnd end = FindArchiveEnd(reader);
  ASSERT_EQ(end.problem, EndProblem::kNone) << end.message;
  struct Case {
    const char* what;
    uint64_t count;
    bool zip64;
    bool ok;
  } cases[] = {
      {"as read", 2, false, true},       {"wrapped past 65535", 2 + 65536, false, true},
      {"zip64, in full", 2, true, true}, {"zip64, 65536 more", 2 + 65536, true, false},
      {"one less", 1, false, false},
  };
  for (const Case& c : cases) {
    ArchiveEnd counted = end;
    counted.entry_count = c.count;
    counted.zip64 = c.zip64;
    std::vector<std::string> seen;
    const ScanResult scan =
        ScanArchive(reader, counted, [&](const Entry& entry) { seen.push_back(entry.name); });
    EXPECT_EQ(scan.ok(), c.ok) << c.what << ": " << scan.message;
    EXPECT_EQ(seen, (std::vector<std::string>{"a.txt", "dir/b.txt"})) << c.what;
  }
}

}  // namespace
}  // namespace nocunzip::unzip32
