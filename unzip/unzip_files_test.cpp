#include "unzip/unzip_files.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "unzip/testing/fake_control.h"

namespace nocunzip {
namespace {

using testing_support::FakeUnzip;

// The test program finds the test stand-in under the library's own name, so Unzip reaches
// it through the driver and the fake shows what arrived.
class UnzipFilesTest : public testing::Test {
 protected:
  std::string OptionsLine() const {
    const std::string log = fake_.Log();
    const size_t at = log.find("options ");
    return at == std::string::npos ? std::string() : log.substr(at, log.find('\n', at) - at);
  }
  std::string Received(const char* name) const {
    const auto bytes = fake_.Blob(name);
    return std::string(bytes.begin(), bytes.end());
  }

  FakeUnzip fake_;
};

TEST_F(UnzipFilesTest, NewObjectHasTheDefaults) {
  UnzipFiles unzip;
  EXPECT_EQ(unzip.MessageLevel(), 2);
  EXPECT_TRUE(unzip.HonorDirectories());
  EXPECT_TRUE(unzip.OverWriteFiles());
  EXPECT_TRUE(unzip.CaseSensitive());
  for (bool flag : {unzip.ExtractNewer(), unzip.SpaceToUnderScore(), unzip.PromptOverwrite(),
                    unzip.WriteToStdOut(), unzip.TestZip(), unzip.ExtractOnlyNewer(),
                    unzip.DisplayComment(), unzip.ConvertCRtoCRLF(), unzip.Verbose()})
    EXPECT_FALSE(flag);
  EXPECT_EQ(unzip.ExtractList(), 0);
  EXPECT_EQ(unzip.Privilege(), 0);
  EXPECT_EQ(unzip.ZipFileName(), L"");
  EXPECT_EQ(unzip.ExtractDir(), L"");
  EXPECT_EQ(unzip.GetLastMessage(), L"");

  fake_.Script("");
  EXPECT_EQ(unzip.Unzip(L"", L""), 0);
  // Record order: OnlyNewer, SpaceTo_, Prompt, Level, StdOut, Test, List, Newer, Comment,
  // Honor, OverWrite, CRLF, Verbose, Case, Privilege.
  EXPECT_EQ(OptionsLine(), "options 0 0 0 2 0 0 0 0 0 1 1 0 0 1 0");
  EXPECT_EQ(Received("zipname"), "");
  EXPECT_EQ(unzip.GetLastMessage(), L"");
}

TEST_F(UnzipFilesTest, FlagsTravelAsOneAndZero) {
  UnzipFiles unzip;
  unzip.ExtractNewer(true);
  unzip.SpaceToUnderScore(true);
  unzip.PromptOverwrite(true);
  unzip.WriteToStdOut(true);
  unzip.TestZip(true);
  unzip.ExtractOnlyNewer(true);
  unzip.DisplayComment(true);
  unzip.HonorDirectories(false);
  unzip.OverWriteFiles(false);
  unzip.ConvertCRtoCRLF(true);
  unzip.Verbose(true);
  unzip.CaseSensitive(false);
  unzip.MessageLevel(-1);
  unzip.ExtractList(7);
  unzip.Privilege(3);
  EXPECT_TRUE(unzip.ExtractNewer());
  EXPECT_FALSE(unzip.HonorDirectories());
  fake_.Script("");
  unzip.Unzip(L"", L"");
  EXPECT_EQ(OptionsLine(), "options 1 1 1 -1 1 1 7 1 1 0 0 1 1 0 3");
}

TEST_F(UnzipFilesTest, IntegerOptionsOutsideSixteenBitsOverflowWithoutCallingTheDriver) {
  fake_.Script("print-text earlier");
  UnzipFiles earlier;
  earlier.Unzip(L"first.zip", L"");

  for (int32_t bad : {32768, -32769}) {
    for (int which = 0; which < 3; ++which) {
      UnzipFiles unzip;
      if (which == 0) unzip.MessageLevel(bad);
      if (which == 1) unzip.ExtractList(bad);
      if (which == 2) unzip.Privilege(bad);
      fake_.Script("");
      try {
        unzip.Unzip(L"new.zip", L"");
        ADD_FAILURE() << "no overflow for " << bad << " in option " << which;
      } catch (const ProgramError& e) {
        EXPECT_EQ(e.number(), kErrOverflow);
        EXPECT_EQ(e.source(), L"Unzip32");
        EXPECT_EQ(e.description(), L"Overflow");
      }
      EXPECT_EQ(fake_.Log(), "") << "the driver was called";
      EXPECT_EQ(unzip.ZipFileName(), L"new.zip");
      EXPECT_EQ(unzip.GetLastMessage(), L"earlier");
    }
  }
  UnzipFiles unzip;
  unzip.MessageLevel(32768);
  EXPECT_EQ(unzip.MessageLevel(), 32768);
}

TEST_F(UnzipFilesTest, SixteenBitLimitsPass) {
  UnzipFiles unzip;
  unzip.MessageLevel(32767);
  unzip.ExtractList(-32768);
  unzip.Privilege(32767);
  fake_.Script("");
  EXPECT_EQ(unzip.Unzip(L"", L""), 0);
  EXPECT_EQ(OptionsLine(), "options 0 0 0 32767 0 0 -32768 0 0 1 1 0 0 1 32767");
}

TEST_F(UnzipFilesTest, NonEmptyArgumentsReplaceStoredPathAndDirectory) {
  UnzipFiles unzip;
  unzip.ZipFileName(L"stored.zip");
  unzip.ExtractDir(L"stored-dir");
  fake_.Script("");
  unzip.Unzip(L"", L"");
  EXPECT_EQ(Received("zipname"), "stored.zip");
  EXPECT_EQ(Received("extractdir"), "stored-dir");

  fake_.Script("");
  unzip.Unzip(L"other.zip", L"");
  EXPECT_EQ(Received("zipname"), "other.zip");
  EXPECT_EQ(Received("extractdir"), "stored-dir");
  EXPECT_EQ(unzip.ZipFileName(), L"other.zip");
  EXPECT_EQ(unzip.ExtractDir(), L"stored-dir");

  fake_.Script("");
  unzip.Unzip(L"", L" ");
  EXPECT_EQ(Received("extractdir"), " ");
  EXPECT_EQ(unzip.ExtractDir(), L" ");
}

TEST_F(UnzipFilesTest, ResultAndLastMessageComeFromTheLibrary) {
  UnzipFiles unzip;
  fake_.Script("print-text cannot read\nresult 9");
  EXPECT_EQ(unzip.Unzip(L"x.zip", L"d"), 9);
  EXPECT_EQ(unzip.GetLastMessage(), L"cannot read");
  // The text belongs to the driver, so every object sees the latest one.
  UnzipFiles other;
  EXPECT_EQ(other.GetLastMessage(), L"cannot read");
}

}  // namespace
}  // namespace nocunzip
