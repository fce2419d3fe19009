#include "bench/file_list.h"

#include <charconv>
#include <string_view>

namespace nocunzip::bench {
namespace {

// Why `path` may not be written below the output directory, or empty when it may.
std::string_view PathFault(std::string_view path) {
  if (path.empty()) return "no path";
  if (path.front() == '/') return "absolute path";
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view component = path.substr(start, end - start);
    if (component.empty()) return "empty path component";
    if (component == "." || component == "..") return "\".\" or \"..\" in the path";
    start = end + 1;
  }
  return {};
}

// Parses "SIZE<TAB>PATH"; returns what is wrong, or empty on success.
std::string_view ParseLine(std::string_view line, FileToWrite* file) {
  const size_t tab = line.find('\t');
  if (tab == std::string_view::npos) return "no tab between size and path";
  const std::string_view size = line.substr(0, tab);
  const char* end = size.data() + size.size();
  const auto [rest, status] = std::from_chars(size.data(), end, file->size);
  if (size.empty() || status != std::errc() || rest != end) return "size is not a byte count";
  const std::string_view path = line.substr(tab + 1);
  if (std::string_view fault = PathFault(path); !fault.empty()) return fault;
  file->path = path;
  return {};
}

}  // namespace

bool ReadFileList(std::istream& input, std::vector<FileToWrite>* files, std::string* error) {
  std::string line;
  for (size_t number = 1; std::getline(input, line); ++number) {
    FileToWrite file;
    if (std::string_view fault = ParseLine(line, &file); !fault.empty()) {
      *error = "line " + std::to_string(number) + ": " + std::string(fault);
      return false;
    }
    files->push_back(std::move(file));
  }
  if (input.bad()) {
    *error = "cannot read the list";
    return false;
  }
  return true;
}

}  // namespace nocunzip::bench
