// The output on its own: a file takes its name only when committed, replaces an existing
// file only when that is allowed, and leaves nothing behind when it is dropped.
#include "disk/output.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testing/test_archive.h"

namespace nocunzip::unzip32::testing {
namespace {
namespace fs = std::filesystem;
using Files = std::vector<std::string>;

TEST(OutputTest, CommitAndDropKeepTheReplaceRules) {
  enum Before { kNothing, kOldFile, kDirectory };
  enum End { kCommit, kCommitReplacing, kDrop };
  struct Case {
    const char* what;
    Before before;
    End end;
    const char* error;  // in the commit's message; nullptr: the commit succeeds
    Files after;
    const char* contents;  // of d/a.txt afterwards
  };
  const Case cases[] = {
      {"new file", kNothing, kCommit, nullptr, {"d/a.txt"}, "new contents"},
      {"new file where replacing is allowed",
       kNothing,
       kCommitReplacing,
       nullptr,
       {"d/a.txt"},
       "new contents"},
      {"replaced file", kOldFile, kCommitReplacing, nullptr, {"d/a.txt"}, "new contents"},
      {"existing file kept", kOldFile, kCommit, "exists already", {"d/a.txt"}, "old"},
      {"dropped new file", kNothing, kDrop, nullptr, {}, nullptr},
      {"dropped replacement", kOldFile, kDrop, nullptr, {"d/a.txt"}, "old"},
      {"directory in the way", kDirectory, kCommitReplacing, "is a directory", {}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir scratch;
    const fs::path root = scratch / "out";
    fs::create_directories(root / "d");
    if (c.before == kOldFile) WriteFileBytes(root / "d" / "a.txt", "old");
    if (c.before == kDirectory) fs::create_directories(root / "d" / "a.txt");

    IoResult result;
    std::unique_ptr<TargetDirectory> target = TargetDirectory::Open(root.string(), &result);
    ASSERT_TRUE(result.ok()) << result.message;
    std::unique_ptr<OutputFile> file = target->CreateFile({"d", "a.txt"}, &result);
    ASSERT_TRUE(result.ok()) << result.message;
    const std::string text = "new contents";
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    ASSERT_TRUE(file->Write(bytes, 4).ok());
    ASSERT_TRUE(file->Write(bytes + 4, text.size() - 4).ok());
    // Until the commit the name shows what was there before.
    if (c.before == kOldFile) {
      EXPECT_EQ(ReadFileBytes(root / "d" / "a.txt"), "old");
    } else if (c.before == kNothing) {
      EXPECT_FALSE(fs::exists(root / "d" / "a.txt"));
    }

    if (c.end != kDrop) {
      const IoResult committed = file->Commit({.mtime = 1700000000}, c.end == kCommitReplacing);
      if (c.error == nullptr) {
        EXPECT_TRUE(committed.ok()) << committed.message;
        EXPECT_EQ(target->Probe({"d", "a.txt"}).mtime, 1700000000);
      } else {
        EXPECT_FALSE(committed.ok());
        EXPECT_NE(committed.message.find(c.error), std::string::npos) << committed.message;
      }
    }
    file.reset();
    EXPECT_EQ(ListTree(root), c.after);  // no temporary file either
    if (c.contents != nullptr) {
      EXPECT_EQ(ReadFileBytes(root / "d" / "a.txt"), c.contents);
    }
  }
}

// A file is started before the directories on its way exist (a worker runs ahead of the
// entries that make them): nothing shows until Link, which makes them; a taken name gives
// kExists and leaves the file to be linked again, replacing.
TEST(OutputTest, LinkMakesTheDirectoriesAndReportsATakenName) {
  ScratchDir scratch;
  const fs::path root = scratch / "out";
  IoResult result;
  std::unique_ptr<TargetDirectory> target = TargetDirectory::Open(root.string(), &result);
  ASSERT_TRUE(result.ok()) << result.message;
  const auto start = [&](const RelativePath& path, const std::string& text) {
    std::unique_ptr<OutputFile> file = target->CreateFile(path, &result);
    EXPECT_TRUE(result.ok()) << result.message;
    if (file == nullptr) return file;
    EXPECT_TRUE(file->Write(reinterpret_cast<const unsigned char*>(text.data()), text.size()).ok());
    EXPECT_TRUE(file->SetAttributes({.mtime = 1700000000, .identify = true}).ok());
    return file;
  };
  std::unique_ptr<OutputFile> deep = start({"a", "b", "deep.txt"}, "deep");
  std::unique_ptr<OutputFile> first = start({"a", "x.txt"}, "first");
  std::unique_ptr<OutputFile> second = start({"a", "x.txt"}, "second");
  ASSERT_TRUE(deep && first && second);
  EXPECT_FALSE(fs::exists(root / "a"));  // no directory made ahead, no name shown

  EXPECT_TRUE(first->Link(false).ok());
  const IoResult taken = second->Link(false);
  EXPECT_EQ(taken.status, IoResult::kExists) << taken.message;
  EXPECT_EQ(ReadFileBytes(root / "a" / "x.txt"), "first");
  const ExistingFile existing = target->Probe({"a", "x.txt"});
  EXPECT_TRUE(existing.exists && existing.is_regular);
  EXPECT_EQ(existing.identity, first->identity());
  EXPECT_NE(existing.identity, second->identity());
  EXPECT_TRUE(second->Link(true).ok());
  EXPECT_EQ(ReadFileBytes(root / "a" / "x.txt"), "second");

  EXPECT_TRUE(deep->Link(false).ok());
  deep.reset();
  first.reset();
  second.reset();
  EXPECT_EQ(ListTree(root), (Files{"a/b/deep.txt", "a/x.txt"}));
  EXPECT_EQ(target->Probe({"a", "b", "deep.txt"}).mtime, 1700000000);
}

// A worker names a finished file only where nothing else can happen to the name: it is free
// and its directory exists. Otherwise the file stays as it was, for Link in its turn; a file
// named ahead and dropped before Link takes its name back.
TEST(OutputTest, NameAheadTakesOnlyAFreeNameInAnExistingDirectory) {
  enum Before { kNothing, kOldFile, kNoDirectory };
  struct Case {
    const char* what;
    Before before;
    bool link;  // Link in its turn after NameAhead; else the file is dropped
    bool named;
    IoResult::Status linked;
    Files after;
    const char* contents;  // of d/a.txt afterwards
  };
  const Case cases[] = {
      {"free name, kept", kNothing, true, true, IoResult::kOk, {"d/a.txt"}, "new"},
      {"free name, dropped: taken back", kNothing, false, true, IoResult::kOk, {}, nullptr},
      {"taken name: handed back", kOldFile, true, false, IoResult::kExists, {"d/a.txt"}, "old"},
      {"taken name, dropped", kOldFile, false, false, IoResult::kOk, {"d/a.txt"}, "old"},
      {"no directory yet: Link makes it",
       kNoDirectory,
       true,
       false,
       IoResult::kOk,
       {"d/a.txt"},
       "new"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir scratch;
    const fs::path root = scratch / "out";
    fs::create_directories(c.before == kNoDirectory ? root : root / "d");
    if (c.before == kOldFile) WriteFileBytes(root / "d" / "a.txt", "old");
    IoResult result;
    std::unique_ptr<TargetDirectory> target = TargetDirectory::Open(root.string(), &result);
    ASSERT_TRUE(result.ok()) << result.message;
    std::unique_ptr<OutputFile> file = target->CreateFile({"d", "a.txt"}, &result);
    ASSERT_TRUE(result.ok()) << result.message;
    ASSERT_TRUE(file->Write(reinterpret_cast<const unsigned char*>("new"), 3).ok());
    ASSERT_TRUE(file->SetAttributes({.mtime = 1700000000}).ok());
    EXPECT_EQ(file->NameAhead(), c.named);
    // Named, the file is in its directory at once (on Windows still open for writing alone,
    // so its contents are checked once it is linked).
    EXPECT_EQ(fs::exists(root / "d" / "a.txt"), c.named || c.before == kOldFile);
    if (c.before == kNoDirectory) {
      EXPECT_FALSE(fs::exists(root / "d"));
    }
    if (c.link) {
      EXPECT_EQ(file->Link(false).status, c.linked);
    }
    file.reset();
    EXPECT_EQ(ListTree(root), c.after);
    if (c.contents != nullptr) {
      EXPECT_EQ(ReadFileBytes(root / "d" / "a.txt"), c.contents);
    }
  }
}

}  // namespace
}  // namespace nocunzip::unzip32::testing
