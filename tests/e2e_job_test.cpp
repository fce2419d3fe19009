// The unpack job as the main program sees it: the built program, a command line, the
// settings file, the result files and the exit status. The unzip library is the scripted
// test stand-in, copied beside the program as libunzip32.so.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/run_program.h"

namespace nocunzip::e2e {
namespace {

constexpr char kToken[] = "KvtZRX615";
const char kWindowText[] =
    "Daten werden dekomprimiert...\n  Ein Datenarchiv wird entpackt!\n  Bitte warten...\n";
const char kRefusedBox[] =
    "[Ung\xC3\xBCltiger Aufruf]\nDieses Programm-Modul wird nur Nocturnis-intern verwendet!\n";

class JobTest : public testing::Test {
 protected:
  JobTest() : sandbox_(NOCUNZIP_PROGRAM) {
    sandbox_.UseLibrary(FAKE_UNZIP_DIR "/libunzip32.so");
    results_ = sandbox_.root() / "Nocturnis";
    fs::create_directories(results_);
    sandbox_.SetDirectorySetting(results_.string() + "/");
    archive_ = (sandbox_.root() / "data.zip").string();
    WriteFile(archive_, "PK");
  }

  // Runs the program with a script for the unzip stand-in.
  RunResult Run(const std::vector<std::string>& args, const std::string& script = "",
                const fs::path& cwd = fs::path()) {
    WriteFile(sandbox_.root() / "script", script);
    return sandbox_.Run(args,
                        {"FAKE_UNZIP_SCRIPT=" + (sandbox_.root() / "script").string(),
                         "FAKE_UNZIP_LOG=" + FakeLog().string()},
                        cwd);
  }
  std::string Accepted(const std::string& archive) const {
    return archive + ";" + (sandbox_.root() / "out").string() + ";" + kToken;
  }
  fs::path FakeLog() const { return sandbox_.root() / "fake.log"; }
  std::vector<std::string> ResultFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(results_))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Result(const char* name) const { return ReadFile(results_ / name); }

  ProgramSandbox sandbox_;
  fs::path results_;
  std::string archive_;
};

TEST_F(JobTest, CallsWithoutTheExactTokenAreRefusedAndWriteNothing) {
  const std::string start = archive_ + ";" + (sandbox_.root() / "out").string() + ";";
  const std::vector<std::vector<std::string>> refused = {
      {start + "kvtzrx615"},
      {start + " KvtZRX615"},
      {start + "KvtZRX615 "},
      {start + "KvtZRX61"},
      {archive_ + ";" + kToken},
      {start},
      {""},
      {"   "},
      {},
      {start + kToken, "more"},  // arguments are joined: field 3 is "KvtZRX615 more"
  };
  for (const auto& args : refused) {
    const RunResult run = Run(args);
    const std::string shown = args.empty() ? std::string("(none)") : args[0];
    EXPECT_EQ(run.exit_status, 1) << shown;
    EXPECT_EQ(run.output, std::string(kWindowText) + kRefusedBox) << shown;
    EXPECT_TRUE(ResultFiles().empty()) << shown;
    EXPECT_FALSE(fs::exists(FakeLog())) << "the library was called for " << shown;
  }
}

TEST_F(JobTest, SuccessWritesOnlyTheEndMarker) {
  // A fourth field is ignored; the blank between two arguments belongs to the path.
  fs::create_directories(sandbox_.root() / "my dir");
  const std::string archive = (sandbox_.root() / "my dir" / "arch ive.zip").string();
  WriteFile(archive, "PK");
  const std::string text = Accepted(archive) + ";ignored";
  const size_t blank = text.find(' ');
  const RunResult run =
      Run({text.substr(0, blank), text.substr(blank + 1)}, "print-text 1 file extracted\n");
  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_EQ(run.output, kWindowText);
  EXPECT_EQ(ResultFiles(), std::vector<std::string>{"NocUnzip.end"});
  EXPECT_EQ(Result("NocUnzip.end"), "success\r\n");
  const std::string log = ReadFile(FakeLog());
  EXPECT_NE(log.find("zipname=" + archive + "\n"), std::string::npos) << log;
  EXPECT_NE(log.find("extractdir=" + (sandbox_.root() / "out").string() + "\n"), std::string::npos);
  EXPECT_NE(log.find("options 0 0 0 2 0 0 0 0 0 0 1 0 0 1 0\n"), std::string::npos) << log;
}

TEST_F(JobTest, MissingArchivesAreReportedAsFileNotFound) {
  fs::create_directories(sandbox_.root() / "folder.zip");
  WriteFile(sandbox_.root() / ".hidden.zip", "PK");
  for (const char* name : {"missing.zip", "folder.zip", ".hidden.zip"}) {
    fs::remove(results_ / "NocUnzip.err");
    fs::remove(results_ / "NocUnzip.end");
    const RunResult run = Run({Accepted((sandbox_.root() / name).string())});
    EXPECT_EQ(run.exit_status, 2) << name;
    EXPECT_EQ(run.output, kWindowText) << name;
    EXPECT_EQ(Result("NocUnzip.err"), "file not found\r\n") << name;
    EXPECT_EQ(Result("NocUnzip.end"), "success\r\n") << name;
    EXPECT_FALSE(fs::exists(FakeLog())) << name;
  }
}

TEST_F(JobTest, FailedExtractionShowsTheLibrarysMessageThenWritesBothFiles) {
  const RunResult run =
      Run({Accepted(archive_)}, "print-text data.zip: not a ZIP archive\nprint 0a\nresult 9\n");
  EXPECT_EQ(run.exit_status, 3);
  EXPECT_EQ(run.output,
            std::string(kWindowText) + "[Nocturnis-Unzip]\ndata.zip: not a ZIP archive\n");
  EXPECT_EQ(Result("NocUnzip.err"), "unzip-error\r\n");
  EXPECT_EQ(Result("NocUnzip.end"), "success\r\n");

  // A later success rewrites the end marker and leaves the old error file alone.
  WriteFile(results_ / "NocUnzip.end", "stale");
  EXPECT_EQ(Run({Accepted(archive_)}).exit_status, 0);
  EXPECT_EQ(Result("NocUnzip.err"), "unzip-error\r\n");
  EXPECT_EQ(Result("NocUnzip.end"), "success\r\n");
}

TEST_F(JobTest, DirectoryWithoutFinalSeparatorIsGluedToTheNames) {
  sandbox_.SetDirectorySetting((sandbox_.root() / "Prog").string());
  EXPECT_EQ(Run({Accepted((sandbox_.root() / "missing.zip").string())}).exit_status, 2);
  EXPECT_EQ(ReadFile(sandbox_.root() / "ProgNocUnzip.err"), "file not found\r\n");
  EXPECT_EQ(ReadFile(sandbox_.root() / "ProgNocUnzip.end"), "success\r\n");
  EXPECT_TRUE(ResultFiles().empty());
}

TEST_F(JobTest, MissingSettingWritesIntoTheCurrentDirectory) {
  const fs::path work = sandbox_.root() / "work";
  fs::create_directories(work);
  for (bool file_present : {false, true}) {
    if (file_present)
      WriteFile(sandbox_.root() / "config/Nocturnis/settings.ini", "[Andere]\n");
    else
      sandbox_.SetDirectorySetting(std::nullopt);
    fs::remove(work / "NocUnzip.end");
    EXPECT_EQ(Run({Accepted(archive_)}, "", work).exit_status, 0);
    EXPECT_EQ(ReadFile(work / "NocUnzip.end"), "success\r\n");
  }
  EXPECT_TRUE(ResultFiles().empty());
}

TEST_F(JobTest, UncaughtErrorsAreReportedAndLeaveNoEndMarker) {
  fs::remove(sandbox_.root() / "bin" / "libunzip32.so");
  RunResult run = Run({Accepted(archive_)});
  EXPECT_EQ(run.exit_status, 4);
  EXPECT_EQ(
      run.output.rfind(std::string(kWindowText) + "[Nocturnis-Unzip]\nLaufzeitfehler '53':\n\n"
                                                  "File not found: unzip32.dll",
                       0),
      0u)
      << run.output;
  EXPECT_TRUE(ResultFiles().empty());

  sandbox_.UseLibrary(FAKE_UNZIP_DIR "/no_entry/libunzip32.so");
  run = Run({Accepted(archive_)});
  EXPECT_EQ(run.exit_status, 4);
  EXPECT_NE(run.output.find("Laufzeitfehler '453':\n\nCan't find DLL entry point "
                            "Wiz_SingleEntryUnzip in unzip32.dll"),
            std::string::npos)
      << run.output;
  EXPECT_TRUE(ResultFiles().empty());

  // A result file that cannot be written.
  sandbox_.UseLibrary(FAKE_UNZIP_DIR "/libunzip32.so");
  sandbox_.SetDirectorySetting((sandbox_.root() / "no such dir").string() + "/");
  run = Run({Accepted((sandbox_.root() / "missing.zip").string())});
  EXPECT_EQ(run.exit_status, 4);
  EXPECT_NE(run.output.find("[Nocturnis-Unzip]\nLaufzeitfehler '76':\n\n"), std::string::npos)
      << run.output;
}

// The moment the window's text has appeared is taken inside the program, right after its
// write returned, so that no delay of the observing test counts.
TEST_F(JobTest, JobStartsNoEarlierThan500msAfterTheWindowIsShown) {
  const fs::path clock_file = sandbox_.root() / "window.clock";
  WriteFile(sandbox_.root() / "script", "");
  const RunResult run = sandbox_.Run(
      {Accepted(archive_)},
      {"LD_PRELOAD=" FAKE_UNZIP_DIR "/libstderr_clock.so",
       "STDERR_CLOCK_FILE=" + clock_file.string(), "ASAN_OPTIONS=verify_asan_link_order=0",
       "FAKE_UNZIP_SCRIPT=" + (sandbox_.root() / "script").string(),
       "FAKE_UNZIP_LOG=" + FakeLog().string()});
  ASSERT_EQ(run.exit_status, 0) << run.output;
  const std::string shown = ReadFile(clock_file);
  ASSERT_FALSE(shown.empty()) << "the window's text was not timed";
  const std::string log = ReadFile(FakeLog());
  const size_t at = log.find("UzpVersion2 t=");
  ASSERT_NE(at, std::string::npos) << log;
  const long long job_start = std::stoll(log.substr(at + 14));
  const double waited_ms = (job_start - std::stoll(shown)) / 1e6;
  std::printf("window shown to job start: %.1f ms\n", waited_ms);
  EXPECT_GE(waited_ms, 500.0);
}

TEST_F(JobTest, OverwriteQuestionWithoutTerminalTakesYes) {
  const RunResult run = Run({Accepted(archive_)}, "replace-text " + std::string(300, 'n') + "\n");
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_NE(run.output.find("[VBUnZip32 - File Already Exists!]\nOverwrite " +
                            std::string(256, 'n') + "?\n(no terminal to ask: answering Yes)\n"),
            std::string::npos)
      << run.output;
  EXPECT_NE(ReadFile(FakeLog()).find("replace -> 102\n"), std::string::npos);
}

// The overwrite question as a user at a terminal answers it.
TEST_F(JobTest, OverwriteQuestionTakesTheAnswerTypedAtTheTerminal) {
  struct Case {
    std::vector<std::string> typed;  // one entry per time the question is asked
    const char* expected;
  };
  const Case cases[] = {
      {{"n\n"}, "replace -> 100"},
      {{"y\n"}, "replace -> 102"},
      {{"c\n"}, "replace -> 104"},
      {{"No\n"}, "replace -> 100"},
      {{"CANCEL\n"}, "replace -> 104"},
      {{"\n"}, "replace -> 102"},
      {{"\x04"}, "replace -> 104"},  // end of input: the box was closed
      {{"maybe\n", "n\n"}, "replace -> 100"},
  };
  WriteFile(sandbox_.root() / "script", "replace-text old.txt\n");
  for (const Case& c : cases) {
    fs::remove(FakeLog());
    const RunResult run = sandbox_.RunUnderTerminal(
        {Accepted(archive_)},
        {"FAKE_UNZIP_SCRIPT=" + (sandbox_.root() / "script").string(),
         "FAKE_UNZIP_LOG=" + FakeLog().string()},
        "[Y]es/[N]o/[C]ancel (default Yes): ", [&](int question) {
          return question < int(c.typed.size()) ? c.typed[question] : "c\n";
        });
    EXPECT_EQ(run.exit_status, 0) << run.output;
    EXPECT_NE(run.output.find("Overwrite old.txt?"), std::string::npos) << run.output;
    EXPECT_NE(ReadFile(FakeLog()).find(std::string(c.expected) + "\n"), std::string::npos)
        << "typed " << c.typed[0] << ": " << ReadFile(FakeLog());
  }
}

}  // namespace
}  // namespace nocunzip::e2e
