// Hostile and damaged archives: nothing may land outside the target, no link may be
// followed or made, and a failed entry leaves neither a partial file nor a changed one.
#include <gtest/gtest.h>

#include <filesystem>

#include "testing/test_archive.h"

namespace nocunzip::unzip32::testing {
namespace {
namespace fs = std::filesystem;
using Files = std::vector<std::string>;

// Text that deflates, but not to nothing: the same for the same size.
std::string RandomText(size_t size) {
  std::string text(size, ' ');
  uint32_t state = 12345;
  for (char& c : text) {
    state = state * 1103515245 + 12345;
    c = static_cast<char>('a' + (state >> 16) % 26);
  }
  return text;
}

class SafetyTest : public ::testing::Test {
 protected:
  fs::path archive() const { return scratch_ / "test.zip"; }
  fs::path target() const { return scratch_ / "out"; }
  fs::path outside() const { return scratch_ / "outside"; }
  void SetUp() override {
    fs::create_directories(target());
    fs::create_directories(outside());
  }
  RunResult RunRaw(const std::vector<RawEntry>& entries) {
    WriteFileBytes(archive(), BuildRawZip(entries));
    return caller_.Run(archive(), target());
  }
  // Everything in the scratch directory except the archive and the target's contents.
  Files OutsideTarget() const {
    Files found;
    for (const auto& item : fs::recursive_directory_iterator(scratch_.path())) {
      const std::string relative = fs::relative(item.path(), scratch_.path()).generic_string();
      if (relative == "test.zip" || relative == "out" || relative == "outside" ||
          relative.rfind("out/", 0) == 0) {
        continue;
      }
      found.push_back(relative);
    }
    return found;
  }
  ScratchDir scratch_;
  LibraryCaller caller_;
};

TEST_F(SafetyTest, NamesThatLeaveTheTargetAreRefusedAndTheRestExtracted) {
  const std::string absolute = (outside() / "absolute.txt").string();
  for (int honor : {1, 0}) {
    SCOPED_TRACE(honor);
    caller_.options.HonorDirectories = honor;
    const RunResult run = RunRaw({{.name = "../parent.txt", .data = "x"},
                                  {.name = "ok/../../dotdot.txt", .data = "x"},
                                  {.name = absolute, .data = "x"},
                                  {.name = "C:/drive.txt", .data = "x"},
                                  {.name = "c:drive-relative.txt", .data = "x"},
                                  {.name = "..\\backslash.txt", .data = "x"},
                                  {.name = "\\\\server\\share\\unc.txt", .data = "x"},
                                  {.name = "good.txt", .data = "good"}});
    EXPECT_EQ(run.result, UZ_ERR_ENTRY);
    EXPECT_EQ(OutsideTarget(), Files{});
    EXPECT_EQ(ListTree(outside()), Files{});
    EXPECT_EQ(ListTree(target()), Files{"good.txt"});
    EXPECT_NE(run.printed.find("error: ../parent.txt: refused: name leads out of the target"),
              std::string::npos)
        << run.printed;
    // On Windows the absolute name of a file starts with its drive.
    const std::string absolute_problem = absolute.size() > 1 && absolute[1] == ':'
                                             ? "name starts with a drive letter"
                                             : "absolute path";
    EXPECT_NE(run.printed.find("error: " + absolute + ": refused: " + absolute_problem),
              std::string::npos)
        << run.printed;
    EXPECT_NE(run.printed.find("error: C:/drive.txt: refused: name starts with a drive letter"),
              std::string::npos);
    fs::remove_all(target());
  }
}

TEST_F(SafetyTest, BackSlashesSeparateDirectoriesInsideTheTarget) {
  const RunResult run = RunRaw({{.name = "dir\\file.txt", .data = "inside"}});
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ListTree(target()), Files{"dir/file.txt"});
}

TEST_F(SafetyTest, ADirectoryLinkInTheTargetIsNotFollowed) {
  std::error_code made;
  fs::create_directory_symlink(outside(), target() / "linked", made);
  if (made) GTEST_SKIP() << "no symbolic links here: " << made.message();
  const RunResult run = RunRaw({{.name = "linked/planted.txt", .data = "evil"},
                                {.name = "linked/deeper/planted.txt", .data = "evil"},
                                {.name = "fine.txt", .data = "fine"}});
  EXPECT_EQ(run.result, UZ_ERR_WRITE);
  EXPECT_EQ(ListTree(outside()), Files{});
  EXPECT_TRUE(fs::is_symlink(target() / "linked"));
  EXPECT_EQ(ReadFileBytes(target() / "fine.txt"), "fine");
  EXPECT_NE(run.printed.find("error: linked/planted.txt: linked is a link; links are not followed"),
            std::string::npos)
      << run.printed;
}

TEST_F(SafetyTest, AFileLinkInTheTargetIsReplacedNotWrittenThrough) {
  WriteFileBytes(outside() / "victim.txt", "precious");
  std::error_code made;
  fs::create_symlink(outside() / "victim.txt", target() / "name.txt", made);
  if (made) GTEST_SKIP() << "no symbolic links here: " << made.message();
  const RunResult run = RunRaw({{.name = "name.txt", .data = "from the archive"}});
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ReadFileBytes(outside() / "victim.txt"), "precious");
  EXPECT_FALSE(fs::is_symlink(target() / "name.txt"));
  EXPECT_EQ(ReadFileBytes(target() / "name.txt"), "from the archive");
}

TEST_F(SafetyTest, LinkEntriesAreNotMade) {
  WriteZip(archive(), {{.name = "escape", .data = outside().string(), .unix_mode = 0120777},
                       {.name = "escape/through.txt", .data = "x"}});
  const RunResult run = caller_.Run(archive(), target());
  EXPECT_FALSE(fs::is_symlink(target() / "escape"));
  EXPECT_EQ(ListTree(outside()), Files{});
  EXPECT_NE(run.printed.find("warning: escape: is a symbolic link; links are not made"),
            std::string::npos)
      << run.printed;
  EXPECT_EQ(ListTree(target()), Files{"escape/through.txt"});
}

TEST_F(SafetyTest, DamagedDataLeavesNoPartialFileAndTheOldFileIntact) {
  const std::string big(20 << 20, 'z');  // streamed, not inflated in one buffer
  struct Case {
    const char* what;
    RawEntry entry;
    const char* message;
  };
  const Case cases[] = {
      {"crc stored", {.name = "a.txt", .data = "hello", .declared_crc = 1}, "CRC mismatch"},
      {"crc deflated",
       {.name = "a.txt", .data = "hello", .deflate = true, .declared_crc = 1},
       "CRC mismatch"},
      {"size too small",
       {.name = "a.txt", .data = "hello world", .deflate = true, .declared_size = 5},
       "size"},
      {"size too large",
       {.name = "a.txt", .data = "hello", .deflate = true, .declared_size = 500},
       "size"},
      {"stored size lie", {.name = "a.txt", .data = "hello world", .declared_size = 5}, ""},
      {"compressed data cut short",
       {.name = "a.txt",
        .data = RandomText(5000),
        .deflate = true,
        .declared_compressed = static_cast<uint32_t>(DeflateRaw(RandomText(5000)).size() - 3)},
       "compressed data"},
      {"big compressed data cut short",
       {.name = "a.txt",
        .data = RandomText(20 << 20),
        .deflate = true,
        .declared_compressed = static_cast<uint32_t>(DeflateRaw(RandomText(20 << 20)).size() - 3)},
       "compressed data"},
      {"big crc", {.name = "a.txt", .data = big, .deflate = true, .declared_crc = 7}, "CRC"},
      // Copied inside the system while the CRC is computed beside it.
      {"big stored crc", {.name = "a.txt", .data = big, .declared_crc = 7}, "CRC"},
      {"big size",
       {.name = "a.txt", .data = big, .deflate = true, .declared_size = 1 << 20},
       "size"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFileBytes(target() / "a.txt", "old contents");
    const RunResult run = RunRaw({c.entry});
    EXPECT_EQ(run.result, UZ_ERR_ENTRY) << run.printed;
    EXPECT_EQ(ListTree(target()), Files{"a.txt"});  // no temporary file left either
    EXPECT_EQ(ReadFileBytes(target() / "a.txt"), "old contents");
    EXPECT_NE(run.printed.find("error: a.txt: "), std::string::npos) << run.printed;
    EXPECT_NE(run.printed.find(c.message), std::string::npos) << run.printed;
    EXPECT_NE(run.printed.find("nothing written"), std::string::npos) << run.printed;
  }
}

TEST_F(SafetyTest, OverlappingEntriesAreRefusedBeforeAnythingIsWritten) {
  // Many names sharing one compressed stream: the "overlapped files" bomb.
  std::vector<RawEntry> entries{
      {.name = "first.txt", .data = std::string(100000, 'A'), .deflate = true}};
  for (int i = 0; i < 50; ++i) {
    entries.push_back({.name = "copy" + std::to_string(i) + ".txt", .share_local_header_of = 0});
  }
  const RunResult run = RunRaw(entries);
  EXPECT_EQ(run.result, UZ_ERR_ARCHIVE);
  EXPECT_EQ(ListTree(target()), Files{});
  EXPECT_NE(run.printed.find("overlap"), std::string::npos) << run.printed;
  EXPECT_TRUE(run.serviced.empty());
}

TEST_F(SafetyTest, ACompressedSizeLieIsRefused) {
  const RunResult run = RunRaw({{.name = "a.txt", .data = "aaaa", .declared_compressed = 400},
                                {.name = "b.txt", .data = "bbbb"}});
  EXPECT_EQ(run.result, UZ_ERR_ARCHIVE);
  EXPECT_EQ(ListTree(target()), Files{});
  EXPECT_NE(run.printed.find("a.txt"), std::string::npos) << run.printed;
}

TEST_F(SafetyTest, TruncatedArchivesFailWithAMessage) {
  WriteZip(archive(), {{.name = "a.txt", .data = std::string(50000, 'a')},
                       {.name = "b.txt", .data = std::string(50000, 'b')}});
  const std::string whole = ReadFileBytes(archive());
  for (size_t keep : {whole.size() - 1, whole.size() - 30, whole.size() / 2, size_t{100}}) {
    SCOPED_TRACE(keep);
    WriteFileBytes(archive(), whole.substr(0, keep));
    const RunResult run = caller_.Run(archive(), target());
    EXPECT_EQ(run.result, UZ_ERR_ARCHIVE);
    EXPECT_EQ(ListTree(target()), Files{});
    EXPECT_NE(run.printed.find("error: " + archive().string() + ": "), std::string::npos);
    EXPECT_NE(run.printed.find("truncated"), std::string::npos) << run.printed;
  }
}

TEST_F(SafetyTest, NonZipEmptyAndMissingFilesGiveResultNine) {
  WriteFileBytes(archive(), "This is a plain text file, not an archive.\n");
  RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_ERR_ARCHIVE);
  EXPECT_NE(run.printed.find("not a ZIP archive"), std::string::npos) << run.printed;

  WriteFileBytes(archive(), "");
  run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_ERR_ARCHIVE);
  EXPECT_NE(run.printed.find("not a ZIP archive: the file is empty"), std::string::npos)
      << run.printed;

  run = caller_.Run(scratch_ / "missing.zip", target());
  EXPECT_EQ(run.result, UZ_ERR_ARCHIVE);
  EXPECT_NE(run.printed.find("cannot open the archive"), std::string::npos) << run.printed;

  run = caller_.Run(target(), target());
  EXPECT_EQ(run.result, UZ_ERR_ARCHIVE) << run.printed;
  EXPECT_EQ(ListTree(target()), Files{});
}

TEST_F(SafetyTest, AFileWhereADirectoryIsNeededFailsWithResultFifty) {
  WriteFileBytes(target() / "a.txt", "a file");
  const RunResult run =
      RunRaw({{.name = "a.txt/b.txt", .data = "b"}, {.name = "c.txt", .data = "c"}});
  EXPECT_EQ(run.result, UZ_ERR_WRITE);
  EXPECT_EQ(ReadFileBytes(target() / "a.txt"), "a file");
  EXPECT_EQ(ReadFileBytes(target() / "c.txt"), "c");
  EXPECT_NE(run.printed.find("error: a.txt/b.txt: a.txt is not a directory"), std::string::npos)
      << run.printed;
}

}  // namespace
}  // namespace nocunzip::unzip32::testing
