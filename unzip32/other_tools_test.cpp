// Archives that other tools write, each extracted through the library's entry as the
// program calls it: 7-Zip's methods and ciphers, bsdtar's streamed entries and its "./"
// directory, data glued in front. Each case is skipped where its tool is missing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "testing/test_archive.h"

namespace nocunzip::unzip32::testing {
namespace {
namespace fs = std::filesystem;

std::string Text(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < size) text += "line " + std::to_string(random() % 100000) + " of text\n";
  text.resize(size);
  return text;
}

bool RunShell(const std::string& command) {
  return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

struct ToolCase {
  const char* what;
  const char* command;  // run in a directory holding in/, writes a.zip there
};

const ToolCase kCases[] = {
    {"7zz Deflate64", "7zz a -tzip -mm=Deflate64 a.zip in"},
    {"7zz BZip2", "7zz a -tzip -mm=BZip2 a.zip in"},
    {"7zz LZMA", "7zz a -tzip -mm=LZMA a.zip in"},
    {"7zz Deflate, traditional cipher", "7zz a -tzip -mem=ZipCrypto -pamberLYNXQT a.zip in"},
    {"7zz LZMA, AES-128", "7zz a -tzip -mm=LZMA -mem=AES128 -pamberLYNXQT a.zip in"},
    {"7zz Deflate64, AES-256", "7zz a -tzip -mm=Deflate64 -mem=AES256 -pamberLYNXQT a.zip in"},
    {"bsdtar, streamed deflate", "cd in && bsdtar -a -cf ../a.zip ."},
    {"bsdtar, stored", "cd in && bsdtar --options zip:compression=store -a -cf ../a.zip ."},
    {"prefixed 7zz archive",
     "7zz a -tzip a1.zip in && (head -c 5000 /dev/urandom; cat a1.zip) > a.zip"},
};

TEST(OtherTools, EveryArchiveExtractsToWhatWasPacked) {
#ifdef _WIN32
  // The commands are POSIX shell: cmd.exe would only misread them, and its redirections
  // leave empty files in the current directory.
  GTEST_SKIP() << "the archives are made with POSIX shell commands";
#endif
  ScratchDir scratch;
  const fs::path in = scratch / "in";
  fs::create_directories(in / "sub");
  const std::string big = Text(3 << 20, 1), small = Text(5000, 2);
  WriteFileBytes(in / "big.txt", big);
  WriteFileBytes(in / "sub" / "small.txt", small);
  WriteFileBytes(in / "sub" / "empty.txt", "");
  int made = 0;
  for (const ToolCase& c : kCases) {
    SCOPED_TRACE(c.what);
    fs::remove(scratch / "a.zip");
    if (!RunShell("cd '" + scratch.path().string() + "' && " + c.command)) {
      GTEST_LOG_(INFO) << "skipped, the tool failed or is missing: " << c.what;
      continue;
    }
    ++made;
    const fs::path out = scratch / "out";
    fs::remove_all(out);
    LibraryCaller caller;
    const RunResult run = caller.Run(scratch / "a.zip", out);
    EXPECT_EQ(run.result, UZ_OK) << run.printed;
    // 7zz keeps the folder "in", bsdtar archives its contents.
    const fs::path root = fs::exists(out / "in") ? out / "in" : out;
    EXPECT_TRUE(ReadFileBytes(root / "big.txt") == big);
    EXPECT_TRUE(ReadFileBytes(root / "sub" / "small.txt") == small);
    EXPECT_TRUE(fs::exists(root / "sub" / "empty.txt"));
    EXPECT_EQ(ListTree(out).size(), 3u);
  }
  if (made == 0) GTEST_SKIP() << "neither 7zz nor bsdtar made an archive";
}

}  // namespace
}  // namespace nocunzip::unzip32::testing
