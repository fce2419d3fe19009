// The whole pipeline through the library's entry points: whatever the number of workers,
// the caller sees the same callbacks, questions and printed lines, in entry order, and the
// same files; an archive that changes under the run is never read again by name.
#include <gtest/gtest.h>
#include <stdlib.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <cctype>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include "decrypt/cipher.h"
#include "testing/test_archive.h"
#include "workers/decode_pool.h"

namespace nocunzip::unzip32::testing {
namespace {
namespace fs = std::filesystem;

constexpr char kPassword[] = "amberLYNXQT";

// Sets UNZIP32_WORKERS for the life of the object.
class Workers {
 public:
  explicit Workers(const char* count) { Set(count); }
  ~Workers() { Set(""); }

 private:
  static void Set(const char* count) {
#ifdef _WIN32
    _putenv_s("UNZIP32_WORKERS", count);  // the process's environment too; "" removes it
#else
    if (*count != '\0') {
      setenv("UNZIP32_WORKERS", count, 1);
    } else {
      unsetenv("UNZIP32_WORKERS");
    }
#endif
  }
};

std::string Text(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < size) text += "word" + std::to_string(random() % 9000) + ' ';
  text.resize(size);
  return text;
}

std::string NameOf(int i) {
  char name[32];
  snprintf(name, sizeof name, "d%d/f%04d.txt", i % 7, i);
  return name;
}

// 2,000 small entries and 5 large ones among them (one stored, copied whole), ten entries in
// the middle encrypted; every third entry's file is on disk already.
class PipelineOrderTest : public ::testing::Test {
 protected:
  static constexpr int kEntries = 2005;
  static bool IsLarge(int i) { return i % 400 == 399; }
  static bool IsEncrypted(int i) { return i >= 1000 && i < 1010; }
  static bool ExistsBefore(int i) { return i % 3 == 0; }
  // The caller's answer to the question: replace every other file asked about.
  static int32_t Answer(const std::string& name) {
    return std::stoi(name.substr(name.find('f') + 1)) % 2 == 0 ? UZ_REPLACE_YES : UZ_REPLACE_NO;
  }

  void SetUp() override {
    std::vector<TestEntry> entries;
    for (int i = 0; i < kEntries; ++i) {
      TestEntry entry{.name = NameOf(i),
                      .data = Text(IsLarge(i) ? (3 << 20) + i : 200 + i % 900, i)};
      if (i == 799) entry.method = ZIP_CM_STORE;
      if (IsEncrypted(i)) {
        entry.encryption = ZIP_EM_TRAD_PKWARE;
        entry.password = kPassword;
      }
      contents_.push_back(entry.data);
      entries.push_back(std::move(entry));
    }
    WriteZip(scratch_ / "a.zip", entries);
  }

  RunResult Extract(const char* workers, const fs::path& target) {
    for (int i = 0; i < kEntries; i += 3) {
      fs::create_directories((target / NameOf(i)).parent_path());
      WriteFileBytes(target / NameOf(i), "old");
    }
    Workers set(workers);
    LibraryCaller caller;
    caller.options.OverWriteFiles = 0;
    caller.options.PromptOverwrite = 1;
    caller.replace_by_name = Answer;
    return caller.Run(scratch_ / "a.zip", target);
  }

  ScratchDir scratch_;
  std::vector<std::string> contents_;
};

TEST_F(PipelineOrderTest, FourWorkersShowTheCallerWhatOneShows) {
  const RunResult one = Extract("1", scratch_ / "one");
  const RunResult four = Extract("4", scratch_ / "four");
  EXPECT_EQ(one.result, UZ_WARNING) << one.printed.substr(0, 2000);
  EXPECT_EQ(four.result, UZ_WARNING);
  EXPECT_EQ(four.password_asks, 1);  // once, at the first encrypted entry
  ASSERT_EQ(four.events.size(), one.events.size());
  for (size_t i = 0; i < one.events.size(); ++i) ASSERT_EQ(four.events[i], one.events[i]) << i;

  // Each entry's callbacks come in its turn: described, serviced, asked, printed.
  ASSERT_EQ(four.described.size(), size_t{kEntries});
  size_t event = 0;
  for (int i = 0; i < kEntries; ++i) {
    SCOPED_TRACE(NameOf(i));
    const std::string name = NameOf(i);
    ASSERT_EQ(four.events[event++], "message " + name);
    ASSERT_EQ(four.events[event++], "service " + name);
    if (i == 1000) {
      ASSERT_EQ(four.events[event++], "password " + name);
    }
    if (ExistsBefore(i)) {
      ASSERT_EQ(four.events[event++], "replace " + name);
    }
    const bool kept = ExistsBefore(i) && Answer(name) == UZ_REPLACE_NO;
    ASSERT_NE(four.events[event++].find(kept ? "exists and was not replaced" : name),
              std::string::npos);
    const std::string on_disk = ReadFileBytes(scratch_ / "four" / name);
    EXPECT_TRUE(on_disk == (kept ? "old" : contents_[static_cast<size_t>(i)]));
  }
}

// Archives whose entries meet on disk (a file where a later entry needs a directory, two
// entries landing on one name) come out the same whatever the workers do ahead: nothing is
// made on disk ahead of an entry's turn.
TEST(PipelineMeetingTest, EntriesThatMeetOnDiskComeOutAsInEntryOrder) {
  struct Case {
    const char* what;
    std::vector<std::string> names;
    int honor_directories;
    int overwrite;
    std::vector<std::string> tree;
    const char* printed;           // a line that the run prints
    const char* contents;          // of the first file of `tree`
    const char* before = nullptr;  // a file that holds "old" before the run
  };
  const Case cases[] = {
      {"a file, then a directory of its name",
       {"a", "a/b", "a/c/d"},
       1,
       0,
       {"a"},
       "not a directory",
       "a"},
      {"a directory, then a file of its name",
       {"a/b", "a"},
       1,
       0,
       {"a/b"},
       "a directory of that",
       "a/b"},
      {"two names, one file", {"x/f", "y/f", "z/f"}, 0, 0, {"f"}, "two entries are named f", "x/f"},
      {"two names, one file, replaced: the last wins",
       {"x/f", "y/f", "z/f"},
       0,
       1,
       {"f"},
       "z/f -> f",
       "z/f"},
      {"a name taken before the run, kept", {"q"}, 1, 0, {"q"}, "q exists and was not", "old", "q"},
      {"a name taken before the run, replaced in its turn",
       {"q"},
       1,
       1,
       {"q"},
       "inflating: q",
       "q",
       "q"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir scratch;
    std::vector<TestEntry> entries;
    for (size_t i = 0; i < 40; ++i) {  // enough for the workers to run ahead
      entries.push_back({.name = "pad/p" + std::to_string(i), .data = Text(5000, 1)});
    }
    for (const std::string& name : c.names) entries.push_back({.name = name, .data = name});
    WriteZip(scratch / "a.zip", entries);
    std::vector<std::string> events;
    for (const char* workers : {"1", "4"}) {
      Workers set(workers);
      LibraryCaller caller;
      caller.options.HonorDirectories = c.honor_directories;
      caller.options.OverWriteFiles = c.overwrite;
      const fs::path out = scratch / workers;
      if (c.before != nullptr) {
        fs::create_directories(out);
        WriteFileBytes(out / c.before, "old");
      }
      const RunResult run = caller.Run(scratch / "a.zip", out);
      EXPECT_NE(run.printed.find(c.printed), std::string::npos) << run.printed;
      std::vector<std::string> tree;
      for (const std::string& name : ListTree(out)) {
        if (name.find('p') != 0 || name.size() < 2 || !std::isdigit(name[1])) tree.push_back(name);
      }
      std::erase_if(tree, [](const std::string& name) { return name.rfind("pad/", 0) == 0; });
      EXPECT_EQ(tree, c.tree) << workers;
      EXPECT_EQ(ReadFileBytes(out / c.tree.front()), c.contents) << workers;
      if (events.empty()) {
        events = run.events;
      } else {
        EXPECT_EQ(run.events, events);
      }
    }
  }
}

// The caller stops the run while the workers have named the files of later entries: those
// are gone when the run returns, and the caller saw what it sees with one worker.
TEST(PipelineStopTest, AStopTakesBackTheFilesThatWorkersNamedAhead) {
  ScratchDir scratch;
  std::vector<TestEntry> entries;
  const auto name = [](int i) { return "f" + std::to_string(1000 + i); };
  for (int i = 0; i < 200; ++i) entries.push_back({.name = name(i), .data = Text(300, i)});
  WriteZip(scratch / "a.zip", entries);
  constexpr int kStop = 10;
  // Well inside the jobs submitted before the caller's turn at the stopped entry.
  const int ahead = kStop + static_cast<int>(kPendingJobs) / 2;
  std::vector<std::string> events;
  for (const char* workers : {"1", "4"}) {
    SCOPED_TRACE(std::string("workers ") + workers);
    Workers set(workers);
    const fs::path out = scratch / workers;
    LibraryCaller caller;
    caller.stop_at_entry = kStop;
    bool named_ahead = false;
    caller.on_service = [&](const std::string& entry) {
      if (entry != name(kStop) || std::string(workers) == "1") return;
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!fs::exists(out / name(ahead)) && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      named_ahead = fs::exists(out / name(ahead)) && fs::exists(out / name(kStop));
    };
    const RunResult run = caller.Run(scratch / "a.zip", out);
    EXPECT_EQ(run.result, UZ_ERR_STOPPED) << run.printed.substr(0, 2000);
    if (std::string(workers) != "1") {
      EXPECT_TRUE(named_ahead);
    }
    std::vector<std::string> expected;
    for (int i = 0; i < kStop; ++i) expected.push_back(name(i));
    EXPECT_EQ(ListTree(out), expected);
    if (events.empty()) {
      events = run.events;
    } else {
      EXPECT_EQ(run.events, events);
    }
  }
}

// The archive is replaced by another file, and then cut short in place, while a run reads
// it: the run reads only the file it opened, and ends with a message when that file's size
// changes, never writing what it did not check.
TEST(PipelineArchiveTest, AReplacedArchiveIsNotReadAndAShrunkOneEndsTheRun) {
  for (const char* workers : {"1", "2"}) {
    SCOPED_TRACE(std::string("workers ") + workers);
    ScratchDir scratch;
    const fs::path archive = scratch / "a.zip";
    std::vector<TestEntry> entries;
    for (int i = 0; i < 600; ++i) entries.push_back({.name = NameOf(i), .data = Text(300, i)});
    WriteZip(archive, entries);
    const std::string original = ReadFileBytes(archive);
    Workers set(workers);
    // At the 50th entry, a file of other contents takes the archive's name. (Windows
    // refuses to replace a file that is open: there the run keeps its archive anyway.)
    int seen = 0;
    RunResult run;
#ifndef _WIN32
    {
      LibraryCaller caller;
      caller.options.HonorDirectories = 0;
      caller.options.OverWriteFiles = 1;
      caller.on_service = [&](const std::string&) {
        if (++seen != 50) return;
        std::vector<TestEntry> others;
        for (int i = 0; i < 600; ++i) others.push_back({.name = NameOf(i), .data = "evil"});
        WriteZip(scratch / "b.zip", others);
        std::error_code error;
        fs::rename(scratch / "b.zip", archive, error);
        EXPECT_FALSE(error) << error.message();
      };
      run = caller.Run(archive, scratch / "out");
    }
    EXPECT_EQ(run.result, UZ_OK) << run.printed.substr(0, 2000);
    EXPECT_EQ(ReadFileBytes(scratch / "out" / "f0599.txt"), Text(300, 599));
#endif

    WriteFileBytes(archive, original);
    seen = 0;
    LibraryCaller caller;
    caller.options.HonorDirectories = 0;
    caller.options.OverWriteFiles = 1;
    caller.on_service = [&](const std::string&) {
      std::error_code error;
      if (++seen == 50) fs::resize_file(archive, original.size() / 2, error);
      EXPECT_FALSE(error) << error.message();
    };
    run = caller.Run(archive, scratch / "cut");
    EXPECT_NE(run.result, UZ_OK);
    EXPECT_NE(run.printed.find("the archive changed size"), std::string::npos)
        << run.printed.substr(run.printed.size() > 3000 ? run.printed.size() - 3000 : 0);
    for (const std::string& name : ListTree(scratch / "cut")) {
      const int i = std::stoi(name.substr(1, 4));
      EXPECT_EQ(ReadFileBytes(scratch / "cut" / name), Text(300, i)) << name;
    }
  }
}

// Whether the traditional password check of the entry `name` of `archive` (bytes) lets
// `password` through: the last of the 12 header bytes, decrypted, is the high byte of the
// time (with a data descriptor, bit 3) or of the CRC.
bool PassesCheck(const std::string& archive, const std::string& name, const std::string& password) {
  const auto at = [&](size_t offset, int bytes) {
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
      value = value << 8 | static_cast<unsigned char>(archive[offset + static_cast<size_t>(i)]);
    }
    return value;
  };
  const size_t header = archive.find(name) - 30;  // the local header comes first
  const bool descriptor = (at(header + 6, 2) & 8) != 0;
  const uint32_t check = descriptor ? at(header + 10, 2) >> 8 : at(header + 14, 4) >> 24;
  const size_t data = header + 30 + at(header + 26, 2) + at(header + 28, 2);
  const std::string bytes = archive.substr(data, 12);
  auto cipher = MakeTraditionalCipher(static_cast<uint8_t>(check));
  return cipher->Start(
      password, std::span(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
}

// Whether a worker holds an unnamed file below `target` now (Linux shows them in /proc as
// "#INODE (deleted)"); always true where that cannot be seen (on Windows, where Wine's own
// /proc shows other files than the program's).
bool UnnamedFileOpen(const fs::path& target) {
#ifdef _WIN32
  (void)target;
  return true;
#endif
  std::error_code error;
  if (!fs::exists("/proc/self/fd", error)) return true;
  for (const auto& fd : fs::directory_iterator("/proc/self/fd", error)) {
    const std::string link = fs::read_symlink(fd.path(), error).string();
    if (link.rfind(target.string() + "/#", 0) == 0) return true;
  }
  return false;
}

// A wrong password held from an earlier entry passes the check of a later one, which a
// worker starts before the caller gives the right password (for the entry in between): the
// later entry is decoded again at its turn, with the right password, as one worker does.
TEST(PipelinePasswordTest, AnEntryStartedUnderAnOlderPasswordComesOutAsWithOneWorker) {
  ScratchDir scratch;
  std::vector<TestEntry> entries;
  const auto encrypted = [](const std::string& name) {
    return TestEntry{.name = name,
                     .data = Text(3000, 7),
                     .encryption = ZIP_EM_TRAD_PKWARE,
                     .password = kPassword};
  };
  // "first" and "third" must let the wrong password through, "second" not. "third" comes
  // only into the window of entries decoded ahead once "first" is committed.
  entries.push_back(encrypted("first"));
  for (size_t i = 2; i < kPendingJobs; ++i) {
    entries.push_back({.name = "pad" + std::to_string(i), .data = Text(100, 1)});
  }
  entries.push_back(encrypted("second"));
  entries.push_back(encrypted("third"));
  for (int i = 0; i < 20; ++i)
    entries.push_back({.name = "after" + std::to_string(i), .data = "a"});
  WriteZip(scratch / "a.zip", entries);
  const std::string archive = ReadFileBytes(scratch / "a.zip");
  std::string wrong;
  for (int i = 0; wrong.empty() && i < 4'000'000; ++i) {
    const std::string candidate = "guess" + std::to_string(i);
    if (PassesCheck(archive, "first", candidate) && PassesCheck(archive, "third", candidate) &&
        !PassesCheck(archive, "second", candidate)) {
      wrong = candidate;
    }
  }
  ASSERT_FALSE(wrong.empty());

  std::vector<RunResult> runs;
  for (const char* workers : {"1", "4"}) {
    SCOPED_TRACE(std::string("workers ") + workers);
    Workers set(workers);
    const fs::path out = scratch / workers;
    LibraryCaller caller;
    caller.password = wrong;  // fits "first" by chance, which then fails
    caller.on_service = [&](const std::string& name) {
      if (name != "second") return;
      // With threads, wait until a worker has started "third" (or one after it), under the
      // password held now.
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (std::string(workers) != "1" && !UnnamedFileOpen(out) &&
             std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      EXPECT_TRUE(std::string(workers) == "1" || UnnamedFileOpen(out));
      caller.password = kPassword;
    };
    runs.push_back(caller.Run(scratch / "a.zip", out));
    EXPECT_EQ(runs.back().result, UZ_ERR_ENTRY) << runs.back().printed;
    EXPECT_EQ(runs.back().password_asks, 2);
    EXPECT_EQ(ReadFileBytes(out / "third"), Text(3000, 7)) << runs.back().printed;
    EXPECT_FALSE(fs::exists(out / "first"));
  }
  EXPECT_EQ(runs[1].events, runs[0].events);
}

#ifndef _WIN32
// A caller whose process may open only 64 files: every worker count extracts every file.
TEST(PipelineDescriptorTest, AFileLimitOf64FailsNoEntryWhateverTheWorkers) {
  ScratchDir scratch;
  std::vector<TestEntry> entries;
  for (int i = 0; i < 3000; ++i) {
    entries.push_back({.name = "d" + std::to_string(i % 30) + "/f" + std::to_string(i),
                       .data = Text(50 + i % 300, i)});
  }
  WriteZip(scratch / "a.zip", entries);
  struct rlimit saved {};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
  for (const char* workers : {"1", "8"}) {
    SCOPED_TRACE(std::string("workers ") + workers);
    Workers set(workers);
    LibraryCaller caller;
    struct rlimit limited = saved;
    limited.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limited), 0);
    const RunResult run = caller.Run(scratch / "a.zip", scratch / workers);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
    EXPECT_EQ(run.result, UZ_OK) << run.printed.substr(0, 3000);
    EXPECT_EQ(ListTree(scratch / workers).size(), entries.size());
  }
  EXPECT_EQ(ListTree(scratch / "8"), ListTree(scratch / "1"));
}
#endif

}  // namespace
}  // namespace nocunzip::unzip32::testing
