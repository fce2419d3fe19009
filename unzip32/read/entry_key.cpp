#include "read/entry_key.h"

namespace nocunzip::unzip32 {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Calls `visit` with each component of `name` between separators, empty ones included.
template <typename Visit>
void ForEachComponent(std::string_view name, Visit visit) {
  size_t start = 0;
  for (;;) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    visit(name.substr(start, end - start));
    if (end == name.size()) return;
    start = end + 1;
  }
}

}  // namespace

std::string NormalisedPath(std::string_view name) {
  std::string path;
  path.reserve(name.size());
  ForEachComponent(name, [&](std::string_view part) {
    if (part.empty() || part == ".") return;
    if (!path.empty()) path += '/';
    path += part;
  });
  return path;
}

std::vector<std::string> PathsWithoutDotDot(std::string_view normalised) {
  if (normalised.find("..") == std::string_view::npos) return {};
  std::vector<std::string_view> dropped, resolved;
  bool dotted = false;
  ForEachComponent(normalised, [&](std::string_view part) {
    if (part != "..") {
      dropped.push_back(part);
      resolved.push_back(part);
      return;
    }
    dotted = true;
    if (!resolved.empty()) resolved.pop_back();
  });
  std::vector<std::string> paths;
  if (!dotted) return paths;
  for (const auto& parts : {dropped, resolved}) {
    std::string path;
    for (const std::string_view part : parts) path += (path.empty() ? "" : "/") + std::string(part);
    if (!path.empty() && (paths.empty() || paths.back() != path)) paths.push_back(std::move(path));
  }
  return paths;
}

bool NameMarksDirectory(std::string_view name) {
  if (name.empty()) return false;
  if (IsSeparator(name.back())) return true;
  std::string_view last;
  ForEachComponent(name, [&](std::string_view part) { last = part; });
  return last == ".";
}

uint64_t HashKey(std::string_view key) {
  // FNV-1a, then a finalizer that spreads every input bit over the whole word.
  uint64_t hash = 0xcbf29ce484222325u;
  for (const char c : key) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
  hash ^= hash >> 33;
  hash *= 0xff51afd7ed558ccdu;
  hash ^= hash >> 33;
  hash *= 0xc4ceb9fe1a85ec53u;
  hash ^= hash >> 33;
  return hash;
}

}  // namespace nocunzip::unzip32
