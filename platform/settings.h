// The per-user settings store of the desktop: one text value, read only.
//
// Windows keeps it in the registry under
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<app>\<section>; elsewhere it is
// the INI file ${XDG_CONFIG_HOME:-$HOME/.config}/<app>/settings.ini.
#pragma once

#include <string>

namespace nocunzip::platform {

// Returns the value `key` of `section` for application `app`; a missing store, section or
// value reads as the empty text.
std::wstring GetSetting(const std::wstring& app, const std::wstring& section,
                        const std::wstring& key);

}  // namespace nocunzip::platform
