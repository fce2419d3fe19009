#include <gtest/gtest.h>
#include <windows.h>

#include "platform/library.h"

namespace nocunzip::platform {
namespace {

TEST(DynamicLibrary, FindsEntriesOfALoadedLibrary) {
  DynamicLibrary kernel(L"kernel32.dll");
  ASSERT_TRUE(kernel.loaded());
  std::wstring detail;
  void* entry = kernel.Entry("GetTickCount", &detail);
  EXPECT_EQ(entry, reinterpret_cast<void*>(
                       GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount")));
  EXPECT_EQ(kernel.Entry("NoSuchEntryInKernel32", &detail), nullptr);
  EXPECT_FALSE(detail.empty());
}

TEST(DynamicLibrary, AMissingLibraryIsReportedNotShown) {
  const DWORD mode_before = GetThreadErrorMode();
  DynamicLibrary missing(L"nocunzip-no-such-library.dll");
  EXPECT_FALSE(missing.loaded());
  EXPECT_FALSE(missing.error().empty());
  std::wstring detail;
  EXPECT_EQ(missing.Entry("UzpVersion2", &detail), nullptr);
  EXPECT_EQ(detail, missing.error());
  // The error mode of the thread is back as it was.
  EXPECT_EQ(GetThreadErrorMode(), mode_before);
}

}  // namespace
}  // namespace nocunzip::platform
