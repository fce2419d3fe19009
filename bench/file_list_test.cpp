#include "bench/file_list.h"

#include <gtest/gtest.h>

#include <sstream>

namespace nocunzip::bench {
namespace {

TEST(FileListTest, ReadsSizesAndPathsAndRefusesWhatIsMalformed) {
  struct Case {
    const char* text;
    std::vector<FileToWrite> files;  // when it reads
    const char* error;               // when it does not
  };
  const Case cases[] = {
      {"", {}, nullptr},
      {"0\ta\n4711\tsmall/d000/f 1.txt\n18446744073709551615\tx/y",
       {{"a", 0}, {"small/d000/f 1.txt", 4711}, {"x/y", UINT64_MAX}},
       nullptr},
      {"12\ta\n13 b\n", {}, "line 2: no tab between size and path"},
      {"\ta", {}, "line 1: size is not a byte count"},
      {"-1\ta", {}, "line 1: size is not a byte count"},
      {"12x\ta", {}, "line 1: size is not a byte count"},
      {"18446744073709551616\ta", {}, "line 1: size is not a byte count"},
      {"1\t", {}, "line 1: no path"},
      {"1\t/etc/passwd", {}, "line 1: absolute path"},
      {"1\ta//b", {}, "line 1: empty path component"},
      {"1\ta/", {}, "line 1: empty path component"},
      {"1\ta/../../b", {}, "line 1: \".\" or \"..\" in the path"},
      {"1\t..", {}, "line 1: \".\" or \"..\" in the path"},
      {"1\t./a", {}, "line 1: \".\" or \"..\" in the path"},
      {"1\ta\n\n", {}, "line 2: no tab between size and path"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::istringstream input(c.text);
    std::vector<FileToWrite> files;
    std::string error;
    const bool read = ReadFileList(input, &files, &error);
    if (c.error == nullptr) {
      ASSERT_TRUE(read) << error;
      ASSERT_EQ(files.size(), c.files.size());
      for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(files[i].path, c.files[i].path);
        EXPECT_EQ(files[i].size, c.files[i].size);
      }
    } else {
      EXPECT_FALSE(read);
      EXPECT_EQ(error, c.error);
    }
  }
}

}  // namespace
}  // namespace nocunzip::bench
