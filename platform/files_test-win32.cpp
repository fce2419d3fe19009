#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/error.h"
#include "platform/files.h"

namespace nocunzip::platform {
namespace {

class FilesTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    dir_ = std::wstring(temp) + L"nocunzip-files-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           Wide(testing::UnitTest::GetInstance()->current_test_info()->name()) + L"\\";
    Remove();
    ASSERT_TRUE(CreateDirectoryW(dir_.c_str(), nullptr));
  }
  void TearDown() override { Remove(); }

  static std::wstring Wide(const char* text) { return std::wstring(text, text + strlen(text)); }

  std::wstring Path(const std::wstring& name) const { return dir_ + name; }

  void Touch(const std::wstring& name, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    HANDLE file = CreateFileW(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "x", 1, &written, nullptr);
    CloseHandle(file);
    if (attributes != FILE_ATTRIBUTE_NORMAL) {
      ASSERT_TRUE(SetFileAttributesW(Path(name).c_str(), attributes));
      ASSERT_EQ(GetFileAttributesW(Path(name).c_str()) & attributes, attributes)
          << "the file system keeps no attributes";
    }
  }

  std::string Read(const std::wstring& name) const {
    HANDLE file = CreateFileW(Path(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    char buffer[256];
    DWORD got = 0;
    ReadFile(file, buffer, sizeof(buffer), &got, nullptr);
    CloseHandle(file);
    return std::string(buffer, got);
  }

  void Remove() {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((dir_ + L"*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        SetFileAttributesW(Path(name).c_str(), FILE_ATTRIBUTE_NORMAL);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          RemoveDirectoryW(Path(name).c_str());
        else
          DeleteFileW(Path(name).c_str());
      } while (FindNextFileW(find, &entry));
      FindClose(find);
    }
    RemoveDirectoryW(dir_.c_str());
  }

  std::wstring dir_;
};

TEST_F(FilesTest, OnlyOrdinaryFilesAreFound) {
  Touch(L"archive.zip");
  Touch(L"readonly.zip", FILE_ATTRIBUTE_READONLY);
  Touch(L"archived.zip", FILE_ATTRIBUTE_ARCHIVE);
  Touch(L"hidden.zip", FILE_ATTRIBUTE_HIDDEN);
  Touch(L"system.zip", FILE_ATTRIBUTE_SYSTEM);
  ASSERT_TRUE(CreateDirectoryW(Path(L"folder.zip").c_str(), nullptr));

  EXPECT_TRUE(FindOrdinaryFile(Path(L"archive.zip")));
  EXPECT_TRUE(FindOrdinaryFile(Path(L"readonly.zip")));
  EXPECT_TRUE(FindOrdinaryFile(Path(L"archived.zip")));
  EXPECT_FALSE(FindOrdinaryFile(Path(L"hidden.zip")));
  EXPECT_FALSE(FindOrdinaryFile(Path(L"system.zip")));
  EXPECT_FALSE(FindOrdinaryFile(Path(L"folder.zip")));
  EXPECT_FALSE(FindOrdinaryFile(Path(L"missing.zip")));
  EXPECT_FALSE(FindOrdinaryFile(dir_));
  EXPECT_FALSE(FindOrdinaryFile(Path(L"archive.zip\\inner")));
}

TEST_F(FilesTest, WildcardsFindTheFirstOrdinaryFileAmongOthers) {
  ASSERT_TRUE(CreateDirectoryW(Path(L"a-folder.zip").c_str(), nullptr));
  Touch(L"b-hidden.zip", FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(FindOrdinaryFile(Path(L"*.zip")));
  Touch(L"data1.zip");
  EXPECT_TRUE(FindOrdinaryFile(Path(L"*.zip")));
  EXPECT_TRUE(FindOrdinaryFile(Path(L"data?.zip")));
  EXPECT_FALSE(FindOrdinaryFile(Path(L"*.rar")));
  EXPECT_FALSE(FindOrdinaryFile(Path(L"nowhere\\*.zip")));
}

TEST_F(FilesTest, PathsThatCannotBeProbedAreNoFiles) {
  EXPECT_FALSE(FindOrdinaryFile(L""));
  EXPECT_FALSE(FindOrdinaryFile(L"   "));
  EXPECT_FALSE(FindOrdinaryFile(L"Q:\\no\\such\\drive.zip"));
  EXPECT_FALSE(FindOrdinaryFile(L"C:\\bad<name>|.zip"));
  EXPECT_FALSE(FindOrdinaryFile(L"\\\\no-such-server\\share\\a.zip"));
}

TEST_F(FilesTest, WriteWholeFileCreatesAndTruncates) {
  WriteWholeFile(Path(L"NocUnzip.end"), "a much longer first line\r\n");
  WriteWholeFile(Path(L"NocUnzip.end"), "success\r\n");
  EXPECT_EQ(Read(L"NocUnzip.end"), "success\r\n");
  WriteWholeFile(Path(L"Grüße.err"), "unzip-error\r\n");
  EXPECT_EQ(Read(L"Grüße.err"), "unzip-error\r\n");
}

TEST_F(FilesTest, WriteWholeFileReportsMissingDirectoryAndOtherFailures) {
  try {
    WriteWholeFile(Path(L"missing\\NocUnzip.end"), "x");
    FAIL() << "no error raised";
  } catch (const ProgramError& e) {
    EXPECT_EQ(e.number(), kErrPathNotFound);
  }
  ASSERT_TRUE(CreateDirectoryW(Path(L"a-directory").c_str(), nullptr));
  try {
    WriteWholeFile(Path(L"a-directory"), "x");
    FAIL() << "no error raised";
  } catch (const ProgramError& e) {
    EXPECT_EQ(e.number(), kErrPathFileAccess);
  }
  // A file that another program holds open without sharing it.
  Touch(L"locked.end");
  HANDLE holder =
      CreateFileW(Path(L"locked.end").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  try {
    WriteWholeFile(Path(L"locked.end"), "success\r\n");
    ADD_FAILURE() << "no error raised";
  } catch (const ProgramError& e) {
    EXPECT_EQ(e.number(), kErrPathFileAccess);
  }
  CloseHandle(holder);
  EXPECT_EQ(Read(L"locked.end"), "x");
}

}  // namespace
}  // namespace nocunzip::platform
