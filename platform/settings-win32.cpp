// The per-user settings store of Windows: string values under
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<app>\<section>.
#include <windows.h>

#include <string>

#include "platform/settings.h"

namespace nocunzip::platform {

std::wstring GetSetting(const std::wstring& app, const std::wstring& section,
                        const std::wstring& key) {
  const std::wstring subkey = L"Software\\VB and VBA Program Settings\\" + app + L"\\" + section;
  // The value may grow between the size query and the read: ask again until it fits.
  std::wstring value;
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD bytes = 0;
    LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, subkey.c_str(), key.c_str(), RRF_RT_REG_SZ,
                                  nullptr, nullptr, &bytes);
    if (status != ERROR_SUCCESS || bytes < sizeof(wchar_t)) return std::wstring();
    value.assign(bytes / sizeof(wchar_t), L'\0');
    status = RegGetValueW(HKEY_CURRENT_USER, subkey.c_str(), key.c_str(), RRF_RT_REG_SZ, nullptr,
                          value.data(), &bytes);
    if (status == ERROR_MORE_DATA) continue;
    if (status != ERROR_SUCCESS) return std::wstring();
    // The size counts the terminating zero that RegGetValueW guarantees.
    value.resize(bytes / sizeof(wchar_t));
    while (!value.empty() && value.back() == L'\0') value.pop_back();
    return value;
  }
  return std::wstring();
}

}  // namespace nocunzip::platform
