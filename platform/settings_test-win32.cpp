#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/settings.h"

namespace nocunzip::platform {
namespace {

// Each test writes below an application name of its own and removes it afterwards.
class SettingsTest : public testing::Test {
 protected:
  const std::wstring app_ = L"NocUnzipSettingsTest";
  const std::wstring root_ = L"Software\\VB and VBA Program Settings\\" + app_;

  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str()); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, root_.c_str()); }

  void Store(const std::wstring& section, const std::wstring& key, const std::wstring& value,
             DWORD type = REG_SZ) {
    const std::wstring subkey = root_ + L"\\" + section;
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, subkey.c_str(), key.c_str(), type, value.c_str(),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
};

TEST_F(SettingsTest, ReadsTheStringValueOfTheSection) {
  Store(L"Verzeichnisse", L"Nocturnis-Verzeichnis", L"C:\\Programme\\Nocturnis\\");
  Store(L"Andere", L"Nocturnis-Verzeichnis", L"D:\\falsch\\");
  EXPECT_EQ(GetSetting(app_, L"Verzeichnisse", L"Nocturnis-Verzeichnis"),
            L"C:\\Programme\\Nocturnis\\");
}

TEST_F(SettingsTest, KeepsTextOutsideAsciiAndLongValuesWhole) {
  Store(L"Verzeichnisse", L"Umlaute", L"C:\\Spiele\\Grüße \u20AC\\");
  EXPECT_EQ(GetSetting(app_, L"Verzeichnisse", L"Umlaute"), L"C:\\Spiele\\Grüße \u20AC\\");
  const std::wstring long_value(5000, L'x');
  Store(L"Verzeichnisse", L"Lang", long_value);
  EXPECT_EQ(GetSetting(app_, L"Verzeichnisse", L"Lang"), long_value);
}

TEST_F(SettingsTest, MissingAppSectionOrValueReadsAsEmpty) {
  EXPECT_EQ(GetSetting(app_, L"Verzeichnisse", L"Nocturnis-Verzeichnis"), L"");
  Store(L"Verzeichnisse", L"Anderer-Wert", L"x");
  EXPECT_EQ(GetSetting(app_, L"Verzeichnisse", L"Nocturnis-Verzeichnis"), L"");
  EXPECT_EQ(GetSetting(app_, L"Fehlt", L"Anderer-Wert"), L"");
  Store(L"Verzeichnisse", L"Leer", L"");
  EXPECT_EQ(GetSetting(app_, L"Verzeichnisse", L"Leer"), L"");
}

TEST_F(SettingsTest, ValuesThatAreNoStringReadAsEmpty) {
  const std::wstring subkey = root_ + L"\\Verzeichnisse";
  const DWORD number = 42;
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, subkey.c_str(), L"Zahl", REG_DWORD, &number,
                            sizeof(number)),
            ERROR_SUCCESS);
  EXPECT_EQ(GetSetting(app_, L"Verzeichnisse", L"Zahl"), L"");
}

}  // namespace
}  // namespace nocunzip::platform
