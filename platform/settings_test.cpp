#include "platform/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/error.h"

namespace nocunzip::platform {
namespace {

namespace fs = std::filesystem;

class SettingsTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("nocunzip-settings-" +
             std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "Nocturnis");
    setenv("XDG_CONFIG_HOME", root_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(root_);
  }
  void WriteIni(const std::string& text) {
    std::ofstream(root_ / "Nocturnis" / "settings.ini") << text;
  }
  static std::wstring Directory() {
    return GetSetting(L"Nocturnis", L"Verzeichnisse", L"Nocturnis-Verzeichnis");
  }

  fs::path root_;
};

TEST_F(SettingsTest, ReadsTheValueOfItsSection) {
  WriteIni(
      "[Andere]\nNocturnis-Verzeichnis=/wrong/\n"
      "[Verzeichnisse]\nNocturnis-Verzeichnis = /home/user/Nocturnis Daten/\n");
  EXPECT_EQ(Directory(), L"/home/user/Nocturnis Daten/");
}

TEST_F(SettingsTest, ValuesOutsideAsciiSurvive) {
  WriteIni("[Verzeichnisse]\nNocturnis-Verzeichnis=/d/\xC3\xA4/\n");
  EXPECT_EQ(Directory(), L"/d/\u00E4/");
}

// A line longer than the reader's buffer must never come back shortened: that would
// name another directory.
TEST_F(SettingsTest, ValueTooLongForTheReaderRaisesInsteadOfBeingCut) {
  const std::string long_dir = "/" + std::string(400, 'd') + "/";
  WriteIni("[Verzeichnisse]\nNocturnis-Verzeichnis=" + long_dir + "\n");
  try {
    std::wstring value = Directory();
    // A reader with a larger buffer may return it; then it must be whole.
    EXPECT_EQ(value, L"/" + std::wstring(400, L'd') + L"/");
  } catch (const ProgramError& e) {
    EXPECT_EQ(e.number(), kErrPathFileAccess);
  }
  // Long lines elsewhere do not disturb the value.
  WriteIni("[Verzeichnisse]\nAnders=" + long_dir + "\nNocturnis-Verzeichnis=/short/\n");
  EXPECT_EQ(Directory(), L"/short/");
}

TEST_F(SettingsTest, MissingFileSectionOrKeyReadsEmpty) {
  EXPECT_EQ(Directory(), L"");
  WriteIni("[Andere]\nNocturnis-Verzeichnis=/x/\n");
  EXPECT_EQ(Directory(), L"");
  WriteIni("[Verzeichnisse]\nSonstwas=/x/\n");
  EXPECT_EQ(Directory(), L"");
}

TEST_F(SettingsTest, FallsBackToHomeConfig) {
  unsetenv("XDG_CONFIG_HOME");
  const char* old_home = getenv("HOME");
  std::string saved = old_home ? old_home : "";
  fs::create_directories(root_ / ".config" / "Nocturnis");
  std::ofstream(root_ / ".config" / "Nocturnis" / "settings.ini")
      << "[Verzeichnisse]\nNocturnis-Verzeichnis=/from/home/\n";
  setenv("HOME", root_.c_str(), 1);
  EXPECT_EQ(Directory(), L"/from/home/");
  setenv("HOME", saved.c_str(), 1);
}

}  // namespace
}  // namespace nocunzip::platform
