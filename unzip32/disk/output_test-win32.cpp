// Windows' own ways of naming a file otherwise: an entry never writes through a device
// name or through the 8.3 short name of another existing file.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "disk/output.h"
#include "testing/test_archive.h"

namespace nocunzip::unzip32::testing {
namespace {
namespace fs = std::filesystem;

// The 8.3 short name of `path`'s last component, or empty when the file system has none.
std::string ShortName(const fs::path& path) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetShortPathNameW(path.wstring().c_str(), buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  const std::string name = fs::path(std::wstring(buffer, length)).filename().string();
  return name == path.filename().string() ? std::string() : name;
}

TEST(OutputTest, RefusesTheShortNameOfAnotherFile) {
  ScratchDir scratch;
  const fs::path root = scratch / "out";
  fs::create_directories(root / "a long directory name");
  WriteFileBytes(root / "a long file name.txt", "old");
  const std::string short_file = ShortName(root / "a long file name.txt");
  const std::string short_directory = ShortName(root / "a long directory name");
  if (short_file.empty() || short_directory.empty()) GTEST_SKIP() << "no 8.3 names here";

  IoResult result;
  std::unique_ptr<TargetDirectory> target = TargetDirectory::Open(root.string(), &result);
  ASSERT_TRUE(result.ok()) << result.message;
  const struct {
    RelativePath path;
    const char* long_name;
  } cases[] = {
      {{short_file}, "a long file name.txt"},
      {{short_directory, "a.txt"}, "a long directory name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path.front());
    EXPECT_EQ(target->CreateFile(c.path, &result), nullptr);
    EXPECT_EQ(result.status, IoResult::kRefused);
    EXPECT_NE(result.message.find("short name of another file, " + std::string(c.long_name)),
              std::string::npos)
        << result.message;
  }
  EXPECT_FALSE(target->Probe({short_file}).exists);
  EXPECT_EQ(target->MakeDirectory({short_directory, "sub"}).status, IoResult::kRefused);
  EXPECT_EQ(ReadFileBytes(root / "a long file name.txt"), "old");

  // A name with "~" of its own is written, and found again under that name.
  std::unique_ptr<OutputFile> file = target->CreateFile({"OWN~1.TXT"}, &result);
  ASSERT_NE(file, nullptr) << result.message;
  ASSERT_TRUE(file->Commit({.mtime = 1700000000}, false).ok());
  file.reset();
  EXPECT_TRUE(target->Probe({"OWN~1.TXT"}).exists);
  file = target->CreateFile({"own~1.txt"}, &result);
  EXPECT_NE(file, nullptr) << result.message;
}

TEST(OutputTest, RefusesNamesThatWindowsReadsAsSomethingElse) {
  ScratchDir scratch;
  IoResult result;
  std::unique_ptr<TargetDirectory> target =
      TargetDirectory::Open((scratch / "out").string(), &result);
  ASSERT_TRUE(result.ok()) << result.message;
  for (const RelativePath& path : {RelativePath{"CON"}, RelativePath{"d", "a.txt:stream"},
                                   RelativePath{"nul.txt", "a.txt"}, RelativePath{"d.", "a"}}) {
    SCOPED_TRACE(path.back());
    EXPECT_EQ(target->CreateFile(path, &result), nullptr);
    EXPECT_EQ(result.status, IoResult::kRefused);
    EXPECT_NE(result.message.find("Windows"), std::string::npos) << result.message;
  }
  EXPECT_EQ(ListTree(scratch / "out"), std::vector<std::string>{});
}

}  // namespace
}  // namespace nocunzip::unzip32::testing
