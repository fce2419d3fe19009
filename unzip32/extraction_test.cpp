// The options of an extraction, seen through the library's entry points as the driver
// calls them.
#include <gtest/gtest.h>

#ifdef __linux__
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <chrono>
#include <filesystem>

#include "testing/test_archive.h"

namespace nocunzip::unzip32::testing {
namespace {
namespace fs = std::filesystem;
using Files = std::vector<std::string>;

// Seconds since 1970. On Linux through statx, whose times have 64 bits in the 32-bit build
// too: the C++ library there reads them into a 32-bit time_t, which ends in 2038.
int64_t ModificationTime(const fs::path& path) {
#ifdef __linux__
  struct statx status {};
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_MTIME, &status) != 0) {
    ADD_FAILURE() << "cannot read the time of " << path;
    return -1;
  }
  return status.stx_mtime.tv_sec;
#else
  const auto system_time = fs::file_time_type::clock::to_sys(fs::last_write_time(path));
  return std::chrono::duration_cast<std::chrono::seconds>(system_time.time_since_epoch()).count();
#endif
}

unsigned Permissions(const fs::path& path) {
  return static_cast<unsigned>(fs::status(path).permissions() & fs::perms::mask);
}

// On Linux through utimensat with a 64-bit time_t (this file is compiled so), for the same
// reason.
void SetModificationTime(const fs::path& path, int64_t seconds) {
#ifdef __linux__
  const struct timespec times[2] = {{.tv_sec = 0, .tv_nsec = UTIME_OMIT},
                                    {.tv_sec = static_cast<time_t>(seconds), .tv_nsec = 0}};
  if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
    ADD_FAILURE() << "cannot set the time of " << path;
  }
#else
  const auto since_epoch = std::chrono::seconds(seconds);
  fs::last_write_time(path, fs::file_time_type::clock::from_sys(
                                std::chrono::sys_time<std::chrono::seconds>(since_epoch)));
#endif
}

class ExtractionTest : public ::testing::Test {
 protected:
  fs::path archive() const { return scratch_ / "test.zip"; }
  fs::path target() const { return scratch_ / "out"; }
  ScratchDir scratch_;
  LibraryCaller caller_;
};

TEST_F(ExtractionTest, ExtractsTheTreeWithTimesAndReportsEveryEntry) {
  WriteZip(archive(), {{.name = "docs/", .mtime = 1600000000},
                       {.name = "docs/a.txt", .data = "alpha\n", .mtime = 1600000100},
                       {.name = "docs/sub/b.txt", .data = "beta", .method = ZIP_CM_STORE},
                       {.name = "top.txt", .data = std::string(10000, 'x')}});
  const RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ListTree(target()), (Files{"docs/a.txt", "docs/sub/b.txt", "top.txt"}));
  EXPECT_EQ(ReadFileBytes(target() / "docs/a.txt"), "alpha\n");
  EXPECT_EQ(ReadFileBytes(target() / "docs/sub/b.txt"), "beta");
  EXPECT_EQ(ReadFileBytes(target() / "top.txt"), std::string(10000, 'x'));
  EXPECT_EQ(ModificationTime(target() / "docs/a.txt"), 1600000100);
  // The directory's own time comes back after the files inside it were written.
  EXPECT_EQ(ModificationTime(target() / "docs"), 1600000000);

  EXPECT_NE(run.printed.find("  inflating: docs/a.txt\n"), std::string::npos) << run.printed;
  EXPECT_NE(run.printed.find("  extracting: docs/sub/b.txt\n"), std::string::npos);
  EXPECT_NE(run.printed.find("  creating: docs/\n"), std::string::npos);
  const Files all{"docs/", "docs/a.txt", "docs/sub/b.txt", "top.txt"};
  EXPECT_EQ(run.described, all);
  EXPECT_EQ(run.serviced, all);
  EXPECT_EQ(run.record.NumberOfMembers, 4u);
  EXPECT_EQ(run.record.TotalUncompressedSize, 6u + 4u + 10000u);
  EXPECT_LT(run.record.TotalCompressedSize, run.record.TotalUncompressedSize);
  EXPECT_GT(run.record.CompressionFactor, 900u);
}

std::string LittleEndian(uint64_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
  return out;
}

std::string ExtraField(uint16_t id, const std::string& data) {
  return LittleEndian(id, 2) + LittleEndian(data.size(), 2) + data;
}

// The extended timestamp field with the modification time: 32 bits of seconds since 1970.
std::string UnixTimeField(int64_t seconds) {
  return ExtraField(0x5455, "\x01" + LittleEndian(static_cast<uint64_t>(seconds), 4));
}

// The NTFS field: modification, access and creation time in 100-ns steps since 1601.
std::string NtfsTimeField(int64_t seconds) {
  const std::string ticks =
      LittleEndian(static_cast<uint64_t>(seconds + 11644473600) * 10000000, 8);
  return ExtraField(0x000a, LittleEndian(0, 4) + LittleEndian(1, 2) + LittleEndian(24, 2) + ticks +
                                ticks + ticks);
}

// Past the signed 32-bit seconds that end in January 2038: noon (UTC) of 2100-01-01 in the
// extended timestamp, whose 32 bits reach 2106, and of 2200-01-01 in the NTFS field.
constexpr int64_t k2100 = 4102488000;
constexpr int64_t k2200 = 7258161600;

class TimesPast2038Test : public ExtractionTest {
 protected:
  void SetUp() override {
    const std::string inner = BuildRawZip({{.name = "inner.txt", .data = "inside"}});
    WriteFileBytes(
        archive(),
        BuildRawZip(
            {{.name = "dir/", .central_extra = UnixTimeField(k2100)},
             {.name = "dir/inner.zip", .data = inner, .central_extra = UnixTimeField(k2100)},
             {.name = "later.txt", .data = "2200", .central_extra = NtfsTimeField(k2200)}}));
  }

  // Whether this system's files keep `seconds` as their time: some do not past 2038 (32-bit
  // Wine, whose own calls use a 32-bit time_t) or past 2106 (Wine).
  bool DiskKeeps(int64_t seconds) {
    const fs::path probe = scratch_ / "probe";
    WriteFileBytes(probe, "");
    SetModificationTime(probe, seconds);
    kept_ = ModificationTime(probe);
    fs::remove(probe);
    return kept_ == seconds;
  }
  int64_t kept_ = 0;  // what the last probe read back
};

TEST_F(TimesPast2038Test, AreListedAndTheirFilesOpen) {
  RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;

  // An archive file of 2100 opens.
  run = caller_.Run(target() / "dir/inner.zip", scratch_ / "inner");
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ReadFileBytes(scratch_ / "inner/inner.txt"), "inside");

  caller_.options.ExtractList = 1;
  run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_NE(run.printed.find("2100-01-0"), std::string::npos) << run.printed;
  EXPECT_NE(run.printed.find("2200-01-0"), std::string::npos) << run.printed;
}

TEST_F(TimesPast2038Test, AreRestoredAndCompared) {
  if (!DiskKeeps(k2100)) {
    GTEST_SKIP() << "this system's files do not keep times past 2038: set " << k2100
                 << " (2100-01-01), read back " << kept_;
  }
  RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ModificationTime(target() / "dir/inner.zip"), k2100);
  EXPECT_EQ(ModificationTime(target() / "dir"), k2100);
  // Wine drops file times past 2106 without an error (the file keeps the time it was written
  // at): there only the listing shows that the NTFS field was read.
  if (!DiskKeeps(k2200)) return;
  EXPECT_EQ(ModificationTime(target() / "later.txt"), k2200);

  // The file of 2200 on disk is newer than an entry of 2100.
  caller_.options.ExtractNewer = 1;
  WriteFileBytes(
      archive(),
      BuildRawZip({{.name = "later.txt", .data = "2100", .central_extra = UnixTimeField(k2100)}}));
  run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ReadFileBytes(target() / "later.txt"), "2200");
}

TEST_F(ExtractionTest, CreatesAMissingTargetDirectory) {
  WriteZip(archive(), {{.name = "a.txt", .data = "a"}});
  const RunResult run = caller_.Run(archive(), target() / "deeper" / "still");
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ReadFileBytes(target() / "deeper/still/a.txt"), "a");
}

TEST_F(ExtractionTest, WithoutDirectoriesSameBaseNamesFollowTheOverwriteRules) {
  WriteZip(archive(), {{.name = "one/x.txt", .data = "first"},
                       {.name = "two/", .data = ""},
                       {.name = "two/x.txt", .data = "second"}});
  caller_.options.HonorDirectories = 0;
  RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ListTree(target()), (Files{"x.txt"}));
  EXPECT_EQ(ReadFileBytes(target() / "x.txt"), "second");

  fs::remove_all(target());
  caller_.options.OverWriteFiles = 0;
  run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_WARNING);
  EXPECT_EQ(ReadFileBytes(target() / "x.txt"), "first");
  EXPECT_NE(run.printed.find("warning: two/x.txt: two entries are named x.txt; the first one was "
                             "kept"),
            std::string::npos)
      << run.printed;
  // A file that was there before is not the archive's twin.
  fs::remove_all(target());
  fs::create_directories(target());
  testing::WriteFileBytes(target() / "x.txt", "old");
  run = caller_.Run(archive(), target());
  EXPECT_EQ(ReadFileBytes(target() / "x.txt"), "old");
  EXPECT_NE(run.printed.find("warning: one/x.txt: x.txt exists and was not replaced"),
            std::string::npos)
      << run.printed;
}

// Names that differ only in case are two files where the file system tells them apart, and
// meet under the overwrite rules where it does not (Windows), with both names said.
TEST_F(ExtractionTest, NamesThatDifferOnlyInCase) {
  WriteZip(archive(),
           {{.name = "d/a.txt", .data = "first"}, {.name = "D/A.TXT", .data = "second"}});
  caller_.options.OverWriteFiles = 0;
  const RunResult run = caller_.Run(archive(), target());
#ifdef _WIN32
  EXPECT_EQ(run.result, UZ_WARNING) << run.printed;
  EXPECT_EQ(ReadFileBytes(target() / "d/a.txt"), "first");
  EXPECT_NE(run.printed.find("entries d/a.txt and D/A.TXT differ only in case, which this file "
                             "system does not tell apart; the first one was kept"),
            std::string::npos)
      << run.printed;
#else
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ListTree(target()), (Files{"D/A.TXT", "d/a.txt"}));
#endif
}

TEST_F(ExtractionTest, PromptOverwriteFollowsTheAnswer) {
  WriteZip(archive(), {{.name = "a.txt", .data = "new a"}, {.name = "b.txt", .data = "new b"}});
  fs::create_directories(target());
  caller_.options.OverWriteFiles = 0;
  caller_.options.PromptOverwrite = 1;
  auto reset = [&] {
    WriteFileBytes(target() / "a.txt", "old a");
    WriteFileBytes(target() / "b.txt", "old b");
  };

  reset();
  caller_.replace_answer = UZ_REPLACE_NO;
  RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_WARNING);
  EXPECT_EQ(run.replace_asked, (Files{"a.txt", "b.txt"}));
  EXPECT_EQ(ReadFileBytes(target() / "a.txt"), "old a");

  reset();
  caller_.replace_answer = UZ_REPLACE_YES;
  run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ReadFileBytes(target() / "a.txt"), "new a");
  EXPECT_EQ(ReadFileBytes(target() / "b.txt"), "new b");

  reset();
  caller_.replace_answer = UZ_REPLACE_CANCEL;
  run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_ERR_STOPPED);
  EXPECT_EQ(run.replace_asked, (Files{"a.txt"}));
  EXPECT_EQ(ReadFileBytes(target() / "b.txt"), "old b");
}

TEST_F(ExtractionTest, NewerRulesCompareModificationTimes) {
  WriteZip(archive(), {{.name = "older-on-disk.txt", .data = "archive", .mtime = 1700000000},
                       {.name = "newer-on-disk.txt", .data = "archive", .mtime = 1700000000},
                       {.name = "missing.txt", .data = "archive", .mtime = 1700000000}});
  auto prepare = [&] {
    fs::remove_all(target());
    fs::create_directories(target());
    WriteFileBytes(target() / "older-on-disk.txt", "disk");
    SetModificationTime(target() / "older-on-disk.txt", 1600000000);
    WriteFileBytes(target() / "newer-on-disk.txt", "disk");
    SetModificationTime(target() / "newer-on-disk.txt", 1800000000);
  };

  prepare();
  caller_.options.ExtractNewer = 1;
  RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ReadFileBytes(target() / "older-on-disk.txt"), "archive");
  EXPECT_EQ(ReadFileBytes(target() / "newer-on-disk.txt"), "disk");
  EXPECT_EQ(ReadFileBytes(target() / "missing.txt"), "archive");

  prepare();
  caller_.options.ExtractNewer = 0;
  caller_.options.ExtractOnlyNewer = 1;
  run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ReadFileBytes(target() / "older-on-disk.txt"), "archive");
  EXPECT_EQ(ReadFileBytes(target() / "newer-on-disk.txt"), "disk");
  EXPECT_FALSE(fs::exists(target() / "missing.txt"));
}

TEST_F(ExtractionTest, TestListAndStandardOutputWriteNoFiles) {
  WriteZip(archive(), {{.name = "a.txt", .data = "contents of a\n"},
                       {.name = "dir/b.txt", .data = "contents of b\n"}});
  caller_.options.TestZip = 1;
  RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_NE(run.printed.find("testing OK: dir/b.txt"), std::string::npos) << run.printed;
  EXPECT_NE(run.printed.find("no errors in 2 tested entries"), std::string::npos);

  caller_.options.TestZip = 0;
  caller_.options.ExtractList = 1;
  run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK);
  EXPECT_NE(run.printed.find("dir/b.txt\n"), std::string::npos) << run.printed;
  EXPECT_NE(run.printed.find("        28  2 entries\n"), std::string::npos) << run.printed;
  EXPECT_EQ(run.described, (Files{"a.txt", "dir/b.txt"}));

  caller_.options.ExtractList = 0;
  caller_.options.WriteToStdOut = 1;
  run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK);
  EXPECT_NE(run.printed.find("contents of a\ncontents of b\n"), std::string::npos) << run.printed;
  EXPECT_FALSE(fs::exists(target()));
}

TEST_F(ExtractionTest, CommentSpacesAndLineEnds) {
  WriteZip(archive(),
           {{.name = "my notes.txt", .data = "one\ntwo\r\nthree\n"},
            {.name = "binary.bin", .data = std::string("a\nb\0c", 5)}},
           "The archive comment");
  caller_.options.DisplayComment = 1;
  caller_.options.SpaceToUnderScore = 1;
  caller_.options.ConvertCRtoCRLF = 1;
  const RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(run.printed.rfind("The archive comment\n", 0), 0u) << run.printed;
  EXPECT_EQ(run.record.CommentLength, 19u);
  EXPECT_EQ(ReadFileBytes(target() / "my_notes.txt"), "one\r\ntwo\r\nthree\r\n");
  EXPECT_EQ(ReadFileBytes(target() / "binary.bin"), std::string("a\nb\0c", 5));
}

TEST_F(ExtractionTest, PrivilegeRestoresPermissionBitsButNeverSetId) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows files have no Unix permission bits";
#endif
  WriteZip(archive(), {{.name = "tool", .data = "#!/bin/sh\n", .unix_mode = 0104750},
                       {.name = "plain", .data = "x", .unix_mode = 0100600}});
  caller_.options.Privilege = 1;
  const RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(Permissions(target() / "tool"), 0750u);
  EXPECT_EQ(Permissions(target() / "plain"), 0600u);

  fs::remove_all(target());
  caller_.options.Privilege = 0;
  caller_.Run(archive(), target());
  EXPECT_NE(Permissions(target() / "plain"), 0600u);  // the process's default instead
}

TEST_F(ExtractionTest, NameListsSelectWithWildcards) {
  WriteZip(archive(), {{.name = "docs/a.txt", .data = "a"},
                       {.name = "docs/B.TXT", .data = "b"},
                       {.name = "docs/c.bin", .data = "c"},
                       {.name = "other.txt", .data = "o"}});
  caller_.include = {"docs/*"};
  caller_.exclude = {"*.bin"};
  RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ListTree(target()), (Files{"docs/B.TXT", "docs/a.txt"}));
  EXPECT_EQ(run.serviced, (Files{"docs/a.txt", "docs/B.TXT"}));
  EXPECT_EQ(run.record.NumberOfMembers, 2u);

  fs::remove_all(target());
  caller_.include = {"docs/?.txt"};
  caller_.exclude = {};
  caller_.options.CaseSensitive = 0;
  run = caller_.Run(archive(), target());
  EXPECT_EQ(ListTree(target()), (Files{"docs/B.TXT", "docs/a.txt"}));

  caller_.include = {"nothing*"};
  run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_ERR_NO_MATCH);
  EXPECT_NE(run.printed.find("no entry matches"), std::string::npos);
}

TEST_F(ExtractionTest, ServiceCallbackStopsTheExtraction) {
  WriteZip(archive(), {{.name = "1.txt", .data = "1"},
                       {.name = "2.txt", .data = "2"},
                       {.name = "3.txt", .data = "3"}});
  caller_.stop_at_entry = 1;
  const RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_ERR_STOPPED);
  EXPECT_EQ(ListTree(target()), (Files{"1.txt"}));
  EXPECT_EQ(run.serviced, (Files{"1.txt", "2.txt"}));
  EXPECT_NE(run.printed.find("2.txt: extraction stopped by the caller"), std::string::npos);
}

TEST_F(ExtractionTest, MessageLevelGovernsWhatIsPrinted) {
  WriteZip(archive(), {{.name = "a.txt", .data = "a"}});
  caller_.options.MessageLevel = 0;
  EXPECT_EQ(caller_.Run(archive(), target()).printed, "");
  caller_.options.MessageLevel = 1;
  RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.printed, archive().string() + ": 1 file extracted\n");
  caller_.options.MessageLevel = 2;
  caller_.options.Verbose = 1;
  run = caller_.Run(archive(), target());
  EXPECT_NE(run.printed.find("inflating: a.txt  (1 bytes, "), std::string::npos) << run.printed;
}

TEST_F(ExtractionTest, EntriesWithDataDescriptorsExtract) {
  // As written by tools that stream: sizes and CRC follow the data.
  WriteFileBytes(
      archive(),
      BuildRawZip(
          {{.name = "a.txt", .data = "streamed a", .deflate = true, .data_descriptor = true},
           {.name = "b.txt", .data = "streamed b", .data_descriptor = true}}));
  const RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ReadFileBytes(target() / "a.txt"), "streamed a");
  EXPECT_EQ(ReadFileBytes(target() / "b.txt"), "streamed b");
}

TEST_F(ExtractionTest, AnArchiveWithoutEntriesGivesResultEleven) {
  WriteFileBytes(archive(), BuildRawZip({}));
  const RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_ERR_NO_MATCH);
  EXPECT_NE(run.printed.find("the archive holds no entries"), std::string::npos) << run.printed;
}

TEST_F(ExtractionTest, Utf8NamesAreWrittenAsUtf8) {
  const std::string name =
      "Gr\xC3\xBC\xC3\x9F"
      "e/\xE6\x97\xA5\xE6\x9C\xAC.txt";
  WriteZip(archive(), {{.name = name, .data = "utf-8"}});
  RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  // The names are UTF-8 on every platform, also where a narrow path is not.
  auto utf8_path = [](const std::string& text) {
    return fs::path(std::u8string(text.begin(), text.end()));
  };
  EXPECT_EQ(ReadFileBytes(target() / utf8_path(name)), "utf-8");

  // Without the UTF-8 flag a name is in code page 437: 0x81 is "ü".
  fs::remove_all(target());
  WriteFileBytes(archive(), BuildRawZip({{.name = "m\x81sli.txt", .data = "cp437"}}));
  run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ReadFileBytes(target() / utf8_path("m\xC3\xBCsli.txt")), "cp437");
}

}  // namespace
}  // namespace nocunzip::unzip32::testing
