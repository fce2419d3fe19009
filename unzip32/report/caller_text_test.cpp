// Names with characters beyond ASCII on their way through the library: the caller hands
// them in and reads them back in its own code page, whatever the archive stores.
#include "report/caller_text_test.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testing/test_archive.h"

namespace nocunzip::unzip32::testing {
namespace {
namespace fs = std::filesystem;

const std::string kBooks =
    "B\xC3\xBC"
    "cher";
const std::string kStreet =
    "B\xC3\xBC"
    "cher/Stra\xC3\x9F"
    "e.txt";
const std::string kGreetings =
    "Gr\xC3\xBC\xC3\x9F"
    "e";
const std::string kSize =
    "Gr\xC3\xB6\xC3\x9F"
    "e.txt";

fs::path Utf8Path(const std::string& text) {
  return fs::path(std::u8string(text.begin(), text.end()));
}

class CallerNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CallerCodePageIsKnown()) GTEST_SKIP() << "the caller's code page is not the expected one";
    fs::create_directories(scratch_ / "in");
    WriteZip(archive(), {{.name = kStreet, .data = "street"}, {.name = "plain.txt", .data = "p"}});
  }
  fs::path archive() const { return scratch_ / "in" / "names.zip"; }
  fs::path target() const { return scratch_ / "out"; }

  // Nothing that reaches the caller may still be spelled in UTF-8 where the caller reads
  // something else.
  static void ExpectCallerSpelling(const std::string& text, const std::string& utf8) {
    const std::string caller = CallerSpelling(utf8);
    EXPECT_NE(text.find(caller), std::string::npos) << text;
    if (caller != utf8) {
      EXPECT_EQ(text.find(utf8), std::string::npos) << text;
    }
  }

  ScratchDir scratch_;
  LibraryCaller caller_;
};

TEST_F(CallerNamesTest, EveryCallbackGetsEntryNamesInTheCallersCodePage) {
  const RunResult listed = [&] {
    caller_.options.ExtractList = 1;
    caller_.options.Verbose = 1;
    return caller_.Run(archive(), target());
  }();
  ASSERT_EQ(listed.result, UZ_OK) << listed.printed;
  ExpectCallerSpelling(listed.printed, kStreet);
  ASSERT_EQ(listed.described.size(), 2u);
  EXPECT_EQ(listed.described[0], CallerSpelling(kStreet));
  ASSERT_EQ(listed.serviced.size(), 2u);
  EXPECT_EQ(listed.serviced[0], CallerSpelling(kStreet));

  // Extracting: the line for the entry, and the question to replace the existing file.
  caller_.options.ExtractList = 0;
  caller_.options.OverWriteFiles = 0;
  caller_.options.PromptOverwrite = 1;
  caller_.replace_answer = UZ_REPLACE_NO;
  fs::create_directories(target() / Utf8Path(kBooks));
  WriteFileBytes(target() / Utf8Path(kStreet), "old");
  const RunResult extracted = caller_.Run(archive(), target());
  EXPECT_EQ(extracted.result, UZ_WARNING) << extracted.printed;
  ASSERT_EQ(extracted.replace_asked.size(), 1u);
  EXPECT_EQ(extracted.replace_asked[0], CallerSpelling(kStreet));
  ExpectCallerSpelling(extracted.printed, kStreet);
  EXPECT_EQ(ReadFileBytes(target() / Utf8Path(kStreet)), "old");
}

TEST_F(CallerNamesTest, NamePatternsComeInTheCallersCodePage) {
  caller_.include = {CallerSpelling(kBooks) + "/*"};
  const RunResult run = caller_.Run(archive(), target());
  ASSERT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ListTree(target()), std::vector<std::string>{kStreet});
}

TEST_F(CallerNamesTest, PathsComeInAndGoOutInTheCallersCodePage) {
  // The scratch directory's own path is plain ASCII.
  const fs::path moved = scratch_.path() / Utf8Path(kGreetings) / "names.zip";
  fs::create_directories(moved.parent_path());
  fs::rename(archive(), moved);
  const std::string archive_text =
      scratch_.path().string() + "/" + CallerSpelling(kGreetings) + "/names.zip";
  const std::string target_text = target().string() + "/" + CallerSpelling(kGreetings);
  const RunResult run = caller_.Run(archive_text, target_text);
  ASSERT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ReadFileBytes(target() / Utf8Path(kGreetings) / Utf8Path(kStreet)), "street");
  ExpectCallerSpelling(run.printed, kGreetings);  // the archive in the summary line

  // A target below a file cannot be made: the message names it once given and once found.
  WriteFileBytes(target() / Utf8Path(kSize), "a file");
  const RunResult failed =
      caller_.Run(archive_text, target().string() + "/" + CallerSpelling(kSize) + "/sub");
  EXPECT_NE(failed.result, UZ_OK);
  ExpectCallerSpelling(failed.printed, kSize);
}

TEST_F(CallerNamesTest, ContentsPrintedToTheCallerKeepTheirBytes) {
  // Lines in UTF-8 and lines in another code page, in an entry long enough to reach the
  // caller in several pieces: none is converted, whole or cut.
  std::string contents;
  for (int i = 0; i < 5000; ++i) contents += kGreetings + "\nGr\xFC\xDF" + "e\n";
  WriteZip(archive(), {{.name = "letter.txt", .data = contents}});
  caller_.options.WriteToStdOut = 1;
  const RunResult run = caller_.Run(archive(), target());
  ASSERT_EQ(run.result, UZ_OK) << run.printed.substr(0, 200);
  EXPECT_NE(run.printed.find(contents), std::string::npos);
}

}  // namespace
}  // namespace nocunzip::unzip32::testing
