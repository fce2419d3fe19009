// A test program without the unzip library on its search path: the driver meets the
// missing library at the version query, and its error reaches the caller of Unzip under
// the source of the options object.
#include <gtest/gtest.h>

#include "platform/error.h"
#include "unzip/unzip_files.h"
#include "unzip/vbunzip.h"

namespace nocunzip {
namespace {

TEST(VBUnzipWithoutLibrary, RaisesFileNotFoundAtTheVersionQuery) {
  sLastMessage = L"text of an earlier extraction";
  try {
    VBUnzip(L"a.zip", L"", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    FAIL() << "no error raised";
  } catch (const ProgramError& e) {
    EXPECT_EQ(e.number(), kErrFileNotFound);
    EXPECT_EQ(e.source(), L"CodeModule::VBUnzip");
    EXPECT_EQ(e.description().rfind(L"File not found: unzip32.dll", 0), 0u) << e.what();
  }
  EXPECT_EQ(sLastMessage, L"");
}

TEST(UnzipFilesWithoutLibrary, DriverErrorIsRelabelled) {
  UnzipFiles unzip;
  try {
    unzip.Unzip(L"a.zip", L"out");
    FAIL() << "no error raised";
  } catch (const ProgramError& e) {
    EXPECT_EQ(e.number(), kErrFileNotFound);
    EXPECT_EQ(e.source(), L"Unzip32");
    EXPECT_EQ(e.description().rfind(L"File not found: unzip32.dll", 0), 0u);
  }
  EXPECT_EQ(unzip.GetLastMessage(), L"");
}

}  // namespace
}  // namespace nocunzip
