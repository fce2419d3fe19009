#include "platform/library.h"

#include <gtest/gtest.h>

namespace nocunzip::platform {
namespace {

TEST(DynamicLibrary, MissingLibraryAndEntryCarryTheLoadersReason) {
  DynamicLibrary absent(L"libnocunzip-no-such-library.so");
  EXPECT_FALSE(absent.loaded());
  EXPECT_NE(absent.error().find(L"libnocunzip-no-such-library.so"), std::wstring::npos);
  std::wstring detail;
  EXPECT_EQ(absent.Entry("strlen", &detail), nullptr);
  EXPECT_EQ(detail, absent.error());

  DynamicLibrary c_library(L"libc.so.6");
  ASSERT_TRUE(c_library.loaded()) << c_library.error().size();
  EXPECT_NE(c_library.Entry("strlen", nullptr), nullptr);
  detail.clear();
  EXPECT_EQ(c_library.Entry("nocunzip_no_such_entry", &detail), nullptr);
  EXPECT_NE(detail.find(L"nocunzip_no_such_entry"), std::wstring::npos);
}

}  // namespace
}  // namespace nocunzip::platform
