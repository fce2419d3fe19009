#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "bench/file_floor.h"

namespace nocunzip::bench {
namespace {

namespace fs = std::filesystem;

class FileFloorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::path(::testing::TempDir()) /
            ("file_floor_" + std::to_string(getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  // Files in nested directories and at the top, empty ones, and one larger than the
  // buffer that the files are written from.
  static std::vector<FileToWrite> SomeFiles() {
    std::vector<FileToWrite> files = {{"top.bin", 0}, {"big/large.bin", (1u << 20) + 3}};
    for (int i = 0; i < 300; ++i) {
      files.push_back({"d" + std::to_string(i % 7) + "/sub/f" + std::to_string(i), 97u * i});
    }
    return files;
  }

  std::unique_ptr<FileFloor> Written(const std::vector<FileToWrite>& files, unsigned threads) {
    std::string error;
    auto floor = FileFloor::Prepare(root_.string(), files, &error);
    EXPECT_NE(floor, nullptr) << error;
    if (floor == nullptr) return nullptr;
    EXPECT_TRUE(floor->WriteAll(threads, &error)) << error;
    return floor;
  }

  fs::path root_;
};

TEST_F(FileFloorTest, WritesEveryFileWithItsSizeAndTimeOnOneOrMoreThreads) {
  const std::vector<FileToWrite> files = SomeFiles();
  for (unsigned threads : {1u, 2u, 5u}) {
    SCOPED_TRACE(threads);
    fs::remove_all(root_);
    auto floor = Written(files, threads);
    ASSERT_NE(floor, nullptr);
    std::string error;
    EXPECT_TRUE(floor->Verify(&error)) << error;
    EXPECT_EQ(floor->file_count(), files.size());
    uint64_t total = 0;
    for (const FileToWrite& file : files) {
      struct stat st {};
      ASSERT_EQ(stat((root_ / file.path).c_str(), &st), 0) << file.path;
      EXPECT_EQ(static_cast<uint64_t>(st.st_size), file.size) << file.path;
      EXPECT_EQ(st.st_mtim.tv_sec, kFileFloorMtime) << file.path;
      total += file.size;
    }
    EXPECT_EQ(floor->total_bytes(), total);
    size_t found = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root_))
      found += entry.is_regular_file();
    EXPECT_EQ(found, files.size());
  }
}

TEST_F(FileFloorTest, FailsRatherThanReplaceAFile) {
  const struct {
    const char* what;
    std::vector<FileToWrite> files;
    const char* existing;  // made before, with other contents
  } cases[] = {
      {"a file there", {{"a/x", 5}, {"a/y", 5}}, "a/y"},
      {"a name listed twice", {{"a/x", 5}, {"a/x", 7}}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root_);
    if (c.existing != nullptr) {
      fs::create_directories((root_ / c.existing).parent_path());
      std::ofstream(root_ / c.existing) << "old";
    }
    std::string error;
    auto floor = FileFloor::Prepare(root_.string(), c.files, &error);
    ASSERT_NE(floor, nullptr) << error;
    EXPECT_FALSE(floor->WriteAll(2, &error));
    EXPECT_NE(error.find("cannot name a/"), std::string::npos) << error;
    if (c.existing != nullptr) {
      EXPECT_EQ(fs::file_size(root_ / c.existing), 3u);
    }
  }
}

TEST_F(FileFloorTest, PreparingFailsWhenAFileStandsWhereADirectoryIsNeeded) {
  fs::create_directories(root_);
  std::ofstream(root_ / "a") << "file";
  std::string error;
  EXPECT_EQ(FileFloor::Prepare(root_.string(), {{"a/b", 1}}, &error), nullptr);
  EXPECT_NE(error.find("cannot open the directory"), std::string::npos) << error;
}

TEST_F(FileFloorTest, VerifyingFindsAMissingExtraOrShortFile) {
  const struct {
    const char* what;
    std::function<void(const fs::path&)> spoil;
    const char* error;
  } cases[] = {
      {"missing", [](const fs::path& root) { fs::remove(root / "d3/sub/f10"); },
       "cannot find d3/sub/f10: No such file or directory"},
      {"short", [](const fs::path& root) { fs::resize_file(root / "d3/sub/f10", 1); },
       "d3/sub/f10 is not a file of 970 bytes"},
      {"a directory instead",
       [](const fs::path& root) {
         fs::remove(root / "top.bin");
         fs::create_directory(root / "top.bin");
       },
       "top.bin is not a file of 0 bytes"},
      {"one more", [](const fs::path& root) { std::ofstream(root / "d1/extra") << "x"; },
       "the output holds 303 files, the list 302"},
      {"a link more", [](const fs::path& root) { fs::create_symlink("top.bin", root / "link"); },
       "the output holds 303 files, the list 302"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root_);
    auto floor = Written(SomeFiles(), 1);
    ASSERT_NE(floor, nullptr);
    std::string error;
    ASSERT_TRUE(floor->Verify(&error)) << error;
    c.spoil(root_);
    EXPECT_FALSE(floor->Verify(&error));
    EXPECT_EQ(error, c.error);
  }
}

}  // namespace
}  // namespace nocunzip::bench
