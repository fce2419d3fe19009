// A test program that finds, under the library's own name, a test library that lacks the
// entry Wiz_SingleEntryUnzip: the driver names the missing entry every time it is called.
#include <gtest/gtest.h>

#include "platform/error.h"
#include "unzip/unzip_files.h"
#include "unzip/vbunzip.h"

namespace nocunzip {
namespace {

TEST(VBUnzipWithoutEntry, NamesTheMissingEntryOnEveryCall) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      VBUnzip(L"a.zip", L"", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
      FAIL() << "no error raised";
    } catch (const ProgramError& e) {
      EXPECT_EQ(e.number(), kErrEntryPointNotFound);
      EXPECT_EQ(e.source(), L"CodeModule::VBUnzip");
      EXPECT_EQ(e.description().rfind(
                    L"Can't find DLL entry point Wiz_SingleEntryUnzip in unzip32.dll", 0),
                0u)
          << e.what();
    }
  }
  UnzipFiles unzip;
  try {
    unzip.Unzip(L"a.zip", L"");
    FAIL() << "no error raised";
  } catch (const ProgramError& e) {
    EXPECT_EQ(e.number(), kErrEntryPointNotFound);
    EXPECT_EQ(e.source(), L"Unzip32");
  }
}

}  // namespace
}  // namespace nocunzip
