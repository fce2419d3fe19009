// Turns the name of an archive entry into a path below the target directory, or refuses it.
//
// Names are UTF-8 (see entry_name.h) and use "/" between components; a back slash counts as
// one too, because Windows reads it so. Splitting decoded names is what keeps a 0x5C byte
// inside a double-byte character from splitting it. Absolute names, drive letters and ".."
// components are refused whole: an entry is never written anywhere else than its own name
// says, below the target directory. A component that the platform cannot hold as the plain
// name it is (on Windows: devices, streams, reserved characters) is refused too.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nocunzip::unzip32 {

enum class NameProblem {
  kNone,
  kEmpty,            // no name at all
  kTargetItself,     // nothing but "." components ("." or "./"): names the target directory
  kAbsolute,         // starts with a separator
  kDriveLetter,      // starts with a drive such as "C:"
  kParentReference,  // holds a ".." component
  kNotAllowedHere,   // a component that this platform cannot hold (see EntryPath::why)
};

struct EntryPath {
  NameProblem problem = NameProblem::kNone;
  bool is_directory = false;            // the name ends with a separator or a "." component
  std::vector<std::string> components;  // relative path, never empty when problem is kNone
  std::string why;                      // with kNotAllowedHere: which component and why
};

struct PathRules {
  bool honor_directories = true;     // false: keep only the last component of files
  bool space_to_underscore = false;  // blanks become "_" in the written names
};

// Maps `name` as stored in the archive. With honor_directories false a directory entry
// maps to no components at all (there is nothing to create for it).
EntryPath MapEntryName(std::string_view name, const PathRules& rules);

// A few words that say why a name was refused, e.g. "absolute path".
const char* DescribeNameProblem(NameProblem problem);

// Why `path` was refused, with the detail that kNotAllowedHere carries.
std::string DescribeRefusal(const EntryPath& path);

// Whether this platform holds `component` as the plain file name it is (and no longer than
// its file systems allow); else `why` (when given) says what is wrong with it. Implemented once per
// platform (entry_path-posix.cpp, entry_path-win32.cpp).
bool IsAllowedComponent(std::string_view component, std::string* why);


}  // namespace nocunzip::unzip32
