// Which entries meet on a name in the target: a file meets another file of its name and a
// directory that another entry needs on its way or makes; directories meet no directory.
#include "plan/target_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nocunzip::unzip32 {
namespace {

TEST(TargetNamesTest, AFileMeetsFilesAndDirectoriesOfItsName) {
  struct Case {
    const char* what;
    std::vector<std::string> names;
    bool honor_directories;
    bool space_to_underscore;
    std::vector<uint64_t> shared;  // the entries, by index
  };
  const Case cases[] = {
      {"distinct files in shared directories", {"d/a", "d/b", "e/a", "d/e/a"}, true, false, {}},
      {"base names meet", {"x/f", "y/g", "z/f"}, false, false, {0, 2}},
      {"a file, then a directory of its name", {"a", "a/b"}, true, false, {0}},
      {"a directory on the way, then a file of its name", {"a/b/c", "q", "a/b"}, true, false, {2}},
      {"a directory entry, then a file of its name", {"a/", "x", "a"}, true, false, {2}},
      {"directory entries meet nothing", {"a/", "a/b/", "a/b/c"}, true, false, {}},
      {"blanks made underscores meet", {"a b", "a_b", "ab"}, true, true, {0, 1}},
      {"refused names meet nothing", {"../x", "x"}, true, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExtractOptions options;
    options.honor_directories = c.honor_directories;
    options.space_to_underscore = c.space_to_underscore;
    TargetNames names(options);
    for (size_t i = 0; i < c.names.size(); ++i) {
      Entry entry;
      entry.index = i;
      entry.name = c.names[i];
      entry.is_directory = c.names[i].back() == '/';
      names.Add(entry);
    }
    names.Seal();
    std::vector<uint64_t> shared;
    for (uint64_t i = 0; i < c.names.size(); ++i) {
      if (names.Shared(i)) shared.push_back(i);
    }
    EXPECT_EQ(shared, c.shared);
  }
}

}  // namespace
}  // namespace nocunzip::unzip32
