// The place that an entry's name stands for, the same however the name spells it: "a/b",
// "a//b", "./a/b", "a/./b", "a\b" and "a/b/." all name a/b. Two entries of one place would
// make what an extractor writes depend on which of them it takes, so the reader compares
// entries by these keys.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nocunzip::unzip32 {

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
// per platform (entry_key-posix.cpp, entry_key-win32.cpp).
std::string FileSystemKey(std::string_view normalised);

// A 64-bit hash of `key`, for comparing keys without keeping them.
uint64_t HashKey(std::string_view key);

}  // namespace nocunzip::unzip32
