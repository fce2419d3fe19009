// Turns the name of an archive entry into a path below the target directory, or refuses it.
//
// Names use "/" between components; a back slash counts as one too, because Windows reads
// it so. Absolute names, drive letters and ".." components are refused whole: an entry is
// never written anywhere else than its own name says, below the target directory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nocunzip::unzip32 {

enum class NameProblem {
  kNone,
  kEmpty,            // nothing but separators and "." components
  kAbsolute,         // starts with a separator
  kDriveLetter,      // starts with a drive such as "C:"
  kParentReference,  // holds a ".." component
};

struct EntryPath {
  NameProblem problem = NameProblem::kNone;
  bool is_directory = false;            // the name ends with a separator
  std::vector<std::string> components;  // relative path, never empty when problem is kNone
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

// Components joined with "/", for messages.
std::string JoinPath(const std::vector<std::string>& components);

}  // namespace nocunzip::unzip32
