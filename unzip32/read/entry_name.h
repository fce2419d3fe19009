// Names and paths: the name bytes of an entry decoded to UTF-8 (the flag, the Unicode path
// field, the OEM code page), the UTF-8 that names need, and the path that a name stands for,
// by which entries are compared.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nocunzip::unzip32 {

// UTF-8 as names need it: strict validation (no overlong forms, no surrogates, nothing
// above U+10FFFF), repair of invalid bytes, and encoding of single code points.

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Whether `text` is well-formed UTF-8 throughout.
bool IsValidUtf8(std::string_view text);

// `text` with every byte that does not start a well-formed sequence replaced by U+FFFD, so
// that the result is valid UTF-8 and valid input comes back unchanged.
std::string RepairUtf8(std::string_view text);

// Appends the UTF-8 form of `code_point`; surrogates and values above U+10FFFF become U+FFFD.
void AppendUtf8(char32_t code_point, std::string* out);

// The OEM code page: what names in archives from MS-DOS-era tools (and Windows tools that
// still follow them) are written in when they are neither flagged nor valid UTF-8. On
// Windows it is the system's OEM code page (GetOEMCP), elsewhere code page 437.
// Implemented once per platform (entry_name-posix.cpp, entry_name-win32.cpp).

// `text`, read in the OEM code page, as valid UTF-8.
std::string OemToUtf8(std::string_view text);

// Turns the name bytes of an archive entry into UTF-8, the one form that the rest of the
// library handles names in.
//
// An entry says how its name is written only in part: flag bit 11 means UTF-8; without it a
// Unicode path extra field (0x7075) may carry the name in UTF-8, valid only while its CRC
// matches the stored name (a tool that renamed the entry without knowing the field leaves
// a stale one); without either, a name that is valid UTF-8 is taken as such (many tools
// write UTF-8 without the flag), and anything else is read in the OEM code page.

// The name `raw` with the general purpose flags `flags`; `unicode_path_field` is the data of
// the entry's 0x7075 extra field, empty when it has none. The result is always valid
// UTF-8: invalid bytes in a name flagged as UTF-8 become U+FFFD.
std::string DecodeEntryName(std::string_view raw, uint16_t flags,
                            std::string_view unicode_path_field);

// The data of the Unicode path field (0x7075) among the extra fields `extra` of the entry
// whose stored name is `raw` with the flags `flags`, empty when there is none (several are
// refused by RepeatedExtraField before). False, with the reason in `problem`, when the field
// can be read in more than one way: a version other than 1 (whose layout readers guess), or
// a name that is more than a re-spelling of the stored one. The field may spell the
// characters outside ASCII otherwise, a run of them for a run; the ASCII characters of the
// name as a reader without the field decodes it (separators among them) must stay, in their
// order. A name flagged as UTF-8 spells itself: its field must say the same.
bool FindUnicodePathField(std::string_view extra, std::string_view raw, uint16_t flags,
                          std::string_view* field, std::string* problem);

// The place that an entry's name stands for, the same however the name spells it: "a/b",
// "a//b", "./a/b", "a/./b", "a\b" and "a/b/." all name a/b. Two entries of one place would
// make what an extractor writes depend on which of them it takes, so the reader compares
// entries by these keys.

// The decoded `name` split at "/" and "\" (Windows writers separate with either, and
// Windows knows no other reading), "." and empty components dropped, joined with "/".
// Empty when the name names nothing but the target itself.
std::string NormalisedPath(std::string_view name);

// The paths that other readers write a normalised path with ".." components to, where the
// library refuses it: the path with its ".." components dropped, as 7-Zip and Python's
// zipfile do ("c/../a/b" is c/a/b), and the path resolved, none above the top, as a file
// system would ("c/../a/b" and "../a/b" are a/b). Each once, none empty; none for a path
// without "..".
std::vector<std::string> PathsWithoutDotDot(std::string_view normalised);

// Whether `name` marks a directory by itself: it ends with a separator, or its last
// component is "." ("d/." is the directory d).
bool NameMarksDirectory(std::string_view name);

// The key under which this platform's file systems find `normalised`: the path itself on
// POSIX, its upper-case form on Windows, whose file systems ignore case. Implemented once
// per platform (entry_name-posix.cpp, entry_name-win32.cpp).
std::string FileSystemKey(std::string_view normalised);

// A 64-bit hash of `key`, for comparing keys without keeping them.
uint64_t HashKey(std::string_view key);

}  // namespace nocunzip::unzip32
