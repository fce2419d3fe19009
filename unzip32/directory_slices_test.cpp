#include "directory_slices.h"

#include <gtest/gtest.h>

#include "test_archive.h"

namespace nocunzip::unzip32::testing {
namespace {

constexpr uint64_t kThreeSlices = 2 * kEntriesPerSlice + 3;

std::string Name(uint64_t i) { return "dir/entry" + std::to_string(i) + ".txt"; }

std::vector<RawEntry> ManyEntries(uint64_t count) {
  std::vector<RawEntry> entries;
  for (uint64_t i = 0; i < count; ++i) {
    entries.push_back({.name = Name(i), .data = std::to_string(i), .deflate = i % 2 == 1});
  }
  return entries;
}

std::string NameIn(zip_t* archive, zip_uint64_t index) {
  const char* name = zip_get_name(archive, index, 0);
  return name != nullptr ? name : "(none)";
}

TEST(DirectorySlices, EveryEntryIsFoundInItsSliceInAnyOrder) {
  StringReader reader(BuildRawZip(ManyEntries(kThreeSlices), "the comment"));
  const ArchiveLayout layout = CheckArchiveLayout(reader);
  ASSERT_EQ(layout.problem, LayoutProblem::kNone) << layout.message;
  ASSERT_EQ(layout.slice_offsets.size(), 4u);

  DirectorySlices slices(reader, layout, true);
  const uint64_t last = kThreeSlices - 1;
  for (uint64_t index : {uint64_t{0}, kEntriesPerSlice - 1, kEntriesPerSlice, last,
                         2 * kEntriesPerSlice, uint64_t{1}, last}) {
    zip_uint64_t in_slice = 0;
    std::string error;
    zip_t* archive = slices.Holding(index, &in_slice, &error);
    ASSERT_NE(archive, nullptr) << index << ": " << error;
    EXPECT_EQ(NameIn(archive, in_slice), Name(index));
    // Each slice shows libzip its own entries only, and the archive's comment.
    EXPECT_EQ(zip_get_num_entries(archive, 0),
              static_cast<zip_int64_t>(index >= 2 * kEntriesPerSlice ? 3 : kEntriesPerSlice));
    EXPECT_STREQ(zip_get_archive_comment(archive, nullptr, 0), "the comment");
    // libzip reads the data below the directory as in the whole archive.
    zip_file_t* file = zip_fopen_index(archive, in_slice, 0);
    ASSERT_NE(file, nullptr) << zip_strerror(archive);
    char data[32] = {};
    const zip_int64_t got = zip_fread(file, data, sizeof data);
    zip_fclose(file);
    EXPECT_EQ(std::string(data, got > 0 ? static_cast<size_t>(got) : 0), std::to_string(index));
  }
  zip_uint64_t in_slice = 0;
  std::string error;
  EXPECT_EQ(slices.Holding(kThreeSlices, &in_slice, &error), nullptr);
}

TEST(DirectorySlices, ASliceLibzipCannotReadFailsAlone) {
  // A name marked UTF-8 that is not: libzip refuses the directory record, the layout check
  // (which never decodes names) does not.
  std::vector<RawEntry> entries = ManyEntries(kThreeSlices);
  entries[kEntriesPerSlice + 5].name = "bad\xff\xfe.txt";
  entries[kEntriesPerSlice + 5].flags = 1u << 11;
  StringReader reader(BuildRawZip(entries));
  const ArchiveLayout layout = CheckArchiveLayout(reader);
  ASSERT_EQ(layout.problem, LayoutProblem::kNone) << layout.message;

  DirectorySlices slices(reader, layout, false);
  zip_uint64_t in_slice = 0;
  std::string error;
  EXPECT_NE(slices.Holding(3, &in_slice, &error), nullptr) << error;
  EXPECT_EQ(slices.Holding(kEntriesPerSlice, &in_slice, &error), nullptr);
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_EQ(slices.Holding(kEntriesPerSlice + 1, &in_slice, &error), nullptr);
  EXPECT_FALSE(error.empty());
  zip_t* last = slices.Holding(kThreeSlices - 1, &in_slice, &error);
  ASSERT_NE(last, nullptr) << error;
  EXPECT_EQ(NameIn(last, in_slice), Name(kThreeSlices - 1));
}

class SlicedExtractionTest : public ::testing::Test {
 protected:
  std::filesystem::path archive() const { return scratch_ / "many.zip"; }
  std::filesystem::path target() const { return scratch_ / "out"; }
  ScratchDir scratch_;
  LibraryCaller caller_;
};

TEST_F(SlicedExtractionTest, EntriesOfEverySliceExtractWithOnePasswordAsk) {
  std::vector<TestEntry> entries;
  for (uint64_t i = 0; i < kThreeSlices; ++i) {
    entries.push_back({.name = Name(i), .data = std::to_string(i), .method = ZIP_CM_STORE});
  }
  // Entries that libzip decodes, in the first and in later slices.
  for (uint64_t i : {uint64_t{7}, kEntriesPerSlice + 7, 2 * kEntriesPerSlice + 1}) {
    entries[i].encryption = ZIP_EM_AES_256;
    entries[i].password = caller_.password;
  }
  entries[kEntriesPerSlice + 8].method = ZIP_CM_BZIP2;
  WriteZip(archive(), entries);
  caller_.options.MessageLevel = 1;

  const RunResult run = caller_.Run(archive(), target());
  ASSERT_EQ(run.result, UZ_OK) << run.printed.substr(run.printed.size() - 500);
  EXPECT_EQ(run.record.NumberOfMembers, kThreeSlices);
  EXPECT_EQ(run.password_asks, 1);
  ASSERT_EQ(run.described.size(), kThreeSlices);
  for (uint64_t i = 0; i < kThreeSlices; ++i) {
    EXPECT_EQ(run.described[i], Name(i));
    EXPECT_EQ(ReadFileBytes(target() / Name(i)), std::to_string(i)) << i;
  }
}

TEST_F(SlicedExtractionTest, ADirectoryLibzipCannotReadAnywhereRefusesTheArchiveBeforeWriting) {
  std::vector<RawEntry> entries = ManyEntries(kThreeSlices);
  entries[2 * kEntriesPerSlice + 1].name = "bad\xff\xfe.txt";
  entries[2 * kEntriesPerSlice + 1].flags = 1u << 11;
  WriteFileBytes(archive(), BuildRawZip(entries));
  const RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_ERR_ARCHIVE) << run.printed;
  EXPECT_NE(run.printed.find("not a readable ZIP archive"), std::string::npos) << run.printed;
  EXPECT_TRUE(run.described.empty());
  EXPECT_FALSE(std::filesystem::exists(target()));
}

}  // namespace
}  // namespace nocunzip::unzip32::testing
