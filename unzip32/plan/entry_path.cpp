#include "plan/entry_path.h"

#include <algorithm>

#include "read/entry_name.h"

namespace nocunzip::unzip32 {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The first component that the platform refuses, with the reason in `path->why`.
bool RefuseComponents(EntryPath* path) {
  for (const std::string& component : path->components) {
    std::string why;
    if (!IsAllowedComponent(component, &why)) {
      path->problem = NameProblem::kNotAllowedHere;
      path->why = "\"" + component + "\": " + why;
      path->components.clear();
      return true;
    }
  }
  return false;
}

// What is wrong with where the name starts: empty, absolute or on a drive.
NameProblem RootProblem(std::string_view name) {
  if (name.empty()) return NameProblem::kEmpty;
  if (IsSeparator(name.front())) return NameProblem::kAbsolute;
  if (name.size() >= 2 && IsAsciiLetter(name[0]) && name[1] == ':') {
    return NameProblem::kDriveLetter;
  }
  return NameProblem::kNone;
}

// The components of `name` between its separators, without empty and "." ones; ".." is
// refused, and a name of no components stands for the target itself.
NameProblem SplitComponents(std::string_view name, const PathRules& rules,
                            std::vector<std::string>* components) {
  for (size_t start = 0; start <= name.size();) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    const std::string_view part = name.substr(start, end - start);
    if (part == "..") return NameProblem::kParentReference;
    if (!part.empty() && part != ".") {
      std::string component(part);
      if (rules.space_to_underscore) std::replace(component.begin(), component.end(), ' ', '_');
      components->push_back(std::move(component));
    }
    start = end + 1;
  }
  return components->empty() ? NameProblem::kTargetItself : NameProblem::kNone;
}

}  // namespace

EntryPath MapEntryName(std::string_view name, const PathRules& rules) {
  EntryPath result;
  result.problem = RootProblem(name);
  if (result.problem != NameProblem::kNone) return result;
  result.is_directory = NameMarksDirectory(name);
  std::vector<std::string> components;
  result.problem = SplitComponents(name, rules, &components);
  if (result.problem != NameProblem::kNone) return result;
  if (!rules.honor_directories) {
    if (result.is_directory) return result;
    components.erase(components.begin(), components.end() - 1);
  }
  result.components = std::move(components);
  RefuseComponents(&result);
  return result;
}

const char* DescribeNameProblem(NameProblem problem) {
  switch (problem) {
    case NameProblem::kNone:
      return "no problem";
    case NameProblem::kEmpty:
      return "empty name";
    case NameProblem::kTargetItself:
      return "name of the target directory itself";
    case NameProblem::kAbsolute:
      return "absolute path";
    case NameProblem::kDriveLetter:
      return "name starts with a drive letter";
    case NameProblem::kParentReference:
      return "name leads out of the target directory (\"..\")";
    case NameProblem::kNotAllowedHere:
      return "name that this system cannot hold";
  }
  return "bad name";
}

std::string DescribeRefusal(const EntryPath& path) {
  std::string text = DescribeNameProblem(path.problem);
  if (!path.why.empty()) text += ", " + path.why;
  return text;
}

}  // namespace nocunzip::unzip32
