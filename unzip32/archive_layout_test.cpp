#include "archive_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "test_archive.h"

namespace nocunzip::unzip32 {
namespace {
using testing::BuildRawZip;
using testing::RawEntry;
using testing::StringReader;

ArchiveLayout Check(const std::string& bytes) {
  StringReader reader(bytes);
  return CheckArchiveLayout(reader);
}

TEST(CheckArchiveLayout, ReadsEntriesAndWhereTheirDataStarts) {
  const std::string bytes = BuildRawZip({{.name = "a.txt", .data = "aaaa"},
                                         {.name = "dir/b.txt",
                                          .data = "bb",
                                          .deflate = true,
                                          .external_attributes = 0100644u << 16,
                                          .made_by_system = 3}},
                                        "comment");
  const ArchiveLayout layout = Check(bytes);
  ASSERT_EQ(layout.problem, LayoutProblem::kNone) << layout.message;
  ASSERT_EQ(layout.entries.size(), 2u);
  EXPECT_EQ(layout.entries[0].local_offset, 0u);
  EXPECT_EQ(layout.entries[0].data_offset, 30u + 5u);
  EXPECT_EQ(bytes.substr(layout.entries[0].data_offset, 4), "aaaa");
  EXPECT_EQ(layout.entries[1].local_offset, 30u + 5u + 4u);
  EXPECT_EQ(layout.entries[1].method, 8);
  EXPECT_EQ(layout.entries[1].made_by_system, 3);
  EXPECT_EQ(layout.entries[1].external_attributes >> 16, 0100644u);
  EXPECT_EQ(layout.comment, "comment");
}

TEST(CheckArchiveLayout, TellsEmptyFilesAndOtherFilesApart) {
  EXPECT_EQ(Check("").problem, LayoutProblem::kEmptyFile);
  EXPECT_EQ(Check("just some text that is long enough to hold a record").problem,
            LayoutProblem::kNotZip);
  EXPECT_EQ(Check("PK").problem, LayoutProblem::kNotZip);
}

TEST(CheckArchiveLayout, RefusesEntriesThatShareData) {
  const ArchiveLayout layout = Check(
      BuildRawZip({{.name = "a", .data = "xxxxxxxx"}, {.name = "b", .share_local_header_of = 0}}));
  EXPECT_EQ(layout.problem, LayoutProblem::kOverlap);
  EXPECT_NE(layout.message.find("entries a and b overlap"), std::string::npos) << layout.message;
}

TEST(CheckArchiveLayout, RefusesDataThatRunsIntoTheNextEntryOrTheDirectory) {
  ArchiveLayout layout = Check(BuildRawZip(
      {{.name = "a", .data = "xxxx", .declared_compressed = 5}, {.name = "b", .data = "y"}}));
  EXPECT_EQ(layout.problem, LayoutProblem::kOverlap) << layout.message;
  layout = Check(BuildRawZip({{.name = "last", .data = "xxxx", .declared_compressed = 200}}));
  EXPECT_EQ(layout.problem, LayoutProblem::kDamaged);
  EXPECT_NE(layout.message.find("last"), std::string::npos) << layout.message;
}

TEST(CheckArchiveLayout, ACountThatTheDirectoryCannotHoldIsRefusedWithoutAllocating) {
  std::string bytes = BuildRawZip({{.name = "a", .data = "x"}});
  // Both entry counts of the end record claim 65535 entries.
  const size_t end = bytes.size() - 22;
  bytes[end + 8] = bytes[end + 9] = bytes[end + 10] = bytes[end + 11] = '\xFF';
  EXPECT_EQ(Check(bytes).problem, LayoutProblem::kDamaged);
}

TEST(CheckArchiveLayout, EveryTruncationAndByteFlipIsHandled) {
  const std::string whole = BuildRawZip(
      {{.name = "a.txt", .data = "aaaa"}, {.name = "b.txt", .data = "bbbbbbbb", .deflate = true}},
      "c");
  for (size_t keep = 0; keep < whole.size(); ++keep) {
    const ArchiveLayout layout = Check(whole.substr(0, keep));
    EXPECT_NE(layout.problem, LayoutProblem::kNone) << keep;
    EXPECT_FALSE(layout.message.empty()) << keep;
  }
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    std::string bytes = whole;
    for (int flips = 0; flips < 3; ++flips) {
      bytes[random() % bytes.size()] = static_cast<char>(random());
    }
    const ArchiveLayout layout = Check(bytes);  // must neither crash nor read out of bounds
    if (layout.problem == LayoutProblem::kNone) {
      for (const CentralEntry& entry : layout.entries) {
        EXPECT_LE(entry.data_offset + entry.compressed_size, bytes.size());
      }
    }
  }
}

}  // namespace
}  // namespace nocunzip::unzip32
