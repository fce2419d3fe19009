// Without the unzip library on the search path, the driver's error reaches the caller of
// Unzip under the source of the options object.
#include <gtest/gtest.h>

#include "platform/error.h"
#include "unzip/unzip_files.h"

namespace nocunzip {
namespace {

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
