#include "fuzz/fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

namespace nocunzip::fuzz {

void Fail(const std::string& what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

ScratchDirectory::ScratchDirectory(std::string_view stem) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate =
        fs::temp_directory_path() /
        (std::string(stem) + "-" + std::to_string(random()) + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate;
      return;
    }
  }
  Fail("cannot create a scratch directory under " + fs::temp_directory_path().string());
}

ScratchDirectory::~ScratchDirectory() {
  if (path_.empty()) return;
  EmptyDirectory(path_);
  std::error_code error;
  fs::remove(path_, error);
}

std::set<fs::path> ListTree(const fs::path& root) {
  std::set<fs::path> paths;
  std::error_code error;
  for (fs::recursive_directory_iterator
           it(root, fs::directory_options::skip_permission_denied, error),
       end;
       !error && it != end; it.increment(error)) {
    paths.insert(it->path().lexically_relative(root));
  }
  if (error) Fail("cannot list " + root.string() + ": " + error.message());
  return paths;
}

void ExpectOnly(const fs::path& root, const std::set<fs::path>& allowed,
                const std::set<fs::path>& inside, const std::string& what) {
  for (const fs::path& path : ListTree(root)) {
    if (allowed.count(path)) continue;
    bool below = false;
    for (const fs::path& dir : inside) {
      auto [d, p] = std::mismatch(dir.begin(), dir.end(), path.begin(), path.end());
      if (d == dir.end() && p != path.end()) below = true;
    }
    if (!below) Fail(what + ": written outside the allowed directories: " + path.string());
  }
}

void ExpectPlainFiles(const fs::path& dir) {
  for (const fs::path& relative : ListTree(dir)) {
    fs::path path = dir / relative;
    fs::file_status status = fs::symlink_status(path);
    if (fs::is_symlink(status)) Fail("a link was created: " + relative.string());
    if ((status.permissions() & (fs::perms::set_uid | fs::perms::set_gid)) != fs::perms::none) {
      Fail("a set-id file was created: " + relative.string());
    }
  }
}

void WriteFile(const fs::path& path, const void* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) Fail("cannot write " + path.string());
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {

// Removes `path` and what is below it, first giving the owner access to every directory
// on the way, since restored permission bits may have taken it away.
void RemoveTree(const fs::path& path) {
  std::error_code ignored;
  if (fs::is_directory(fs::symlink_status(path, ignored))) {
    fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
    for (const fs::directory_entry& entry : fs::directory_iterator(path, ignored)) {
      RemoveTree(entry.path());
    }
  }
  fs::remove(path, ignored);
}

}  // namespace

void EmptyDirectory(const fs::path& dir) {
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir, error)) {
    RemoveTree(entry.path());
  }
  if (error) Fail("cannot empty " + dir.string() + ": " + error.message());
  if (!fs::is_empty(dir, error)) Fail("cannot empty " + dir.string());
}

}  // namespace nocunzip::fuzz
