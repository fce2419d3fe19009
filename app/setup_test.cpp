#include "app/setup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "unzip/testing/fake_control.h"

namespace nocunzip {
namespace {

namespace fs = std::filesystem;

TEST(GetField, SplitsAtTheDelimiterKeepingSpaces) {
  EXPECT_EQ(GetField(L"a.zip;dir;KvtZRX615", 1, L";"), L"a.zip");
  EXPECT_EQ(GetField(L"a.zip;dir;KvtZRX615", 2, L";"), L"dir");
  EXPECT_EQ(GetField(L"a.zip;dir;KvtZRX615", 3, L";"), L"KvtZRX615");
  EXPECT_EQ(GetField(L"a;b;c;d", 3, L";"), L"c");
  EXPECT_EQ(GetField(L" a ; b ", 2, L";"), L" b ");
  EXPECT_EQ(GetField(L" a ; b ", 1, L";"), L" a ");
  EXPECT_EQ(GetField(L"x;;y", 2, L";"), L"");
  EXPECT_EQ(GetField(L"x;;y", 3, L";"), L"y");
  EXPECT_EQ(GetField(L";x", 1, L";"), L"");
  EXPECT_EQ(GetField(L"x;", 2, L";"), L"");
}

TEST(GetField, OutOfRangeAndBlankTextsGiveEmptyFields) {
  EXPECT_EQ(GetField(L"a;b", 5, L";"), L"");
  EXPECT_EQ(GetField(L"a;b", 0, L";"), L"");
  EXPECT_EQ(GetField(L"a;b", -1, L";"), L"");
  EXPECT_EQ(GetField(L"a;b", 32767, L";"), L"");
  for (int16_t n : {1, 2, 3}) {
    EXPECT_EQ(GetField(L"   ", n, L";"), L"");
    EXPECT_EQ(GetField(L"", n, L";"), L"");
  }
  // Only blanks count as blank: a tab is a field's content.
  EXPECT_EQ(GetField(L"\t", 1, L";"), L"\t");
}

TEST(GetField, DelimiterOfOtherThanOneCharacterNeverMatches) {
  EXPECT_EQ(GetField(L"abc", 1, L";;"), L"abc");
  EXPECT_EQ(GetField(L"abc", 2, L";;"), L"");
  EXPECT_EQ(GetField(L"a;;b", 1, L";;"), L"a;;b");
  EXPECT_EQ(GetField(L"a;b", 1, L""), L"a;b");
  // Case matters.
  EXPECT_EQ(GetField(L"aXbxc", 2, L"x"), L"c");
}

class SetupFilesTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("nocunzip-setup-" +
            std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
};

TEST_F(SetupFilesTest, FileExistsOnlyForOrdinaryFiles) {
  std::ofstream(dir_ / "a.zip") << "x";
  std::ofstream(dir_ / ".b.zip") << "x";
  fs::create_directory(dir_ / "c.zip");
  EXPECT_TRUE(FileExists((dir_ / "a.zip").wstring()));
  EXPECT_TRUE(FileExists((dir_ / "?.zip").wstring()));
  EXPECT_FALSE(FileExists((dir_ / ".b.zip").wstring()));
  EXPECT_FALSE(FileExists((dir_ / "c.zip").wstring()));
  EXPECT_FALSE(FileExists((dir_ / "d.zip").wstring()));
  EXPECT_FALSE(FileExists(L""));
  EXPECT_FALSE(FileExists(L"   "));
  EXPECT_FALSE(FileExists(std::wstring(L"bad\0name", 8)));
}

TEST(ExtractArchive, UsesTheJobsOptionsAndReportsTheResult) {
  testing_support::FakeUnzip fake;
  fake.Script("");
  EXPECT_TRUE(ExtractArchive(L"/target dir", L"/in/a.zip"));
  const std::string log = fake.Log();
  EXPECT_NE(log.find("zipname=/in/a.zip\nextractdir=/target dir\n"), std::string::npos) << log;
  // No overwrite question, stored directories dropped, all else the defaults.
  EXPECT_NE(log.find("options 0 0 0 2 0 0 0 0 0 0 1 0 0 1 0\n"), std::string::npos) << log;

  fake.Script("print-text not a zip archive\nresult 9");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(ExtractArchive(L"/t", L"/in/b.zip"));
  const std::string shown = testing::internal::GetCapturedStderr();
  EXPECT_EQ(shown, "[Nocturnis-Unzip]\nnot a zip archive\n");
}

}  // namespace
}  // namespace nocunzip
