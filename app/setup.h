// The unpack job's helper functions.
#pragma once

#include <cstdint>
#include <string>

namespace nocunzip {

// The application title: the title of every box that has none of its own.
inline constexpr wchar_t kApplicationTitle[] = L"Nocturnis-Unzip";

// True when `text`, trimmed of leading and trailing spaces, is empty. Only the space
// character counts as blank.
bool IsBlank(const std::wstring& text);

// Field `n` (counted from 1) of `text` split at `delimiter`. A delimiter that is not
// exactly one character never matches; a text of spaces only has only empty fields.
std::wstring GetField(const std::wstring& text, int16_t n, const std::wstring& delimiter);

// True when `path` names an existing ordinary file (the last component may hold "*" and
// "?"); directories and hidden files do not count. Never raises.
bool FileExists(const std::wstring& path);

// Unpacks `archive` into `targetDir` with the job's fixed options: no overwrite question,
// stored directories dropped. On failure shows the unzip library's message and returns
// false. Errors of the unzip binding are not caught.
bool ExtractArchive(const std::wstring& targetDir, const std::wstring& archive);

}  // namespace nocunzip
