#include "platform/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/error.h"

namespace nocunzip::platform {
namespace {

namespace fs = std::filesystem;

class FilesTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("nocunzip-files-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Touch(const std::string& name) { std::ofstream(dir_ / name) << "x"; }
  std::wstring Path(const std::string& name) const { return (dir_ / name).wstring(); }
  std::string Read(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  fs::path dir_;
};

TEST_F(FilesTest, OnlyOrdinaryFilesAreFound) {
  Touch("archive.zip");
  Touch(".hidden.zip");
  fs::create_directory(dir_ / "folder.zip");
  fs::create_symlink(dir_ / "archive.zip", dir_ / "link.zip");
  fs::create_symlink(dir_ / "gone.zip", dir_ / "dangling.zip");
  fs::create_symlink(dir_ / "folder.zip", dir_ / "dirlink.zip");

  EXPECT_TRUE(FindOrdinaryFile(Path("archive.zip")));
  EXPECT_TRUE(FindOrdinaryFile(Path("link.zip")));
  EXPECT_FALSE(FindOrdinaryFile(Path(".hidden.zip")));
  EXPECT_FALSE(FindOrdinaryFile(Path("folder.zip")));
  EXPECT_FALSE(FindOrdinaryFile(Path("dangling.zip")));
  EXPECT_FALSE(FindOrdinaryFile(Path("dirlink.zip")));
  EXPECT_FALSE(FindOrdinaryFile(Path("missing.zip")));
  EXPECT_FALSE(FindOrdinaryFile(dir_.wstring()));
  EXPECT_FALSE(FindOrdinaryFile(dir_.wstring() + L"/"));
  EXPECT_FALSE(FindOrdinaryFile(Path("archive.zip/inner")));
  EXPECT_FALSE(FindOrdinaryFile(L""));

  // Dated 2100, past the 32-bit seconds of 2038.
  Touch("future.zip");
  const struct timespec times[2] = {{4102488000, 0}, {4102488000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (dir_ / "future.zip").c_str(), times, 0), 0);
  EXPECT_TRUE(FindOrdinaryFile(Path("future.zip")));
  EXPECT_TRUE(FindOrdinaryFile(Path("future.*")));
}

TEST_F(FilesTest, WildcardsInTheLastComponentMatchOrdinaryFilesOnly) {
  fs::create_directory(dir_ / "only-dir.zip");
  Touch(".secret.zip");
  EXPECT_FALSE(FindOrdinaryFile(Path("*.zip")));
  Touch("data1.zip");
  EXPECT_TRUE(FindOrdinaryFile(Path("*.zip")));
  EXPECT_TRUE(FindOrdinaryFile(Path("data?.zip")));
  EXPECT_FALSE(FindOrdinaryFile(Path("data??.zip")));
  EXPECT_FALSE(FindOrdinaryFile(Path("*.rar")));
  // Brackets are no wildcards: they match themselves only.
  EXPECT_FALSE(FindOrdinaryFile(Path("data[1].zip")));
  Touch("data[1].zip");
  EXPECT_TRUE(FindOrdinaryFile(Path("data[1]*")));
  EXPECT_FALSE(FindOrdinaryFile((dir_ / "nowhere" / "*.zip").wstring()));
}

TEST_F(FilesTest, WriteWholeFileCreatesAndTruncates) {
  WriteWholeFile(Path("out.txt"), "a much longer first line\r\n");
  WriteWholeFile(Path("out.txt"), "short\r\n");
  EXPECT_EQ(Read("out.txt"), "short\r\n");
}

TEST_F(FilesTest, WriteWholeFileReportsMissingDirectoryAndOtherFailures) {
  try {
    WriteWholeFile(Path("missing/out.txt"), "x");
    FAIL() << "no error raised";
  } catch (const ProgramError& e) {
    EXPECT_EQ(e.number(), kErrPathNotFound);
  }
  fs::create_directory(dir_ / "a-directory");
  try {
    WriteWholeFile(Path("a-directory"), "x");
    FAIL() << "no error raised";
  } catch (const ProgramError& e) {
    EXPECT_EQ(e.number(), kErrPathFileAccess);
  }
}

}  // namespace
}  // namespace nocunzip::platform
