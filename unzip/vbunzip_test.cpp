#include "unzip/vbunzip.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "platform/error.h"
#include "unzip/testing/fake_control.h"

namespace nocunzip {
namespace {

using testing_support::FakeUnzip;

class DriverTest : public testing::Test {
 protected:
  // One driver call through the process's library with every option at `value`.
  int32_t RunAll(int16_t value, const std::wstring& zip = L"a.zip",
                 const std::wstring& dir = L"out") {
    return VBUnzip(zip, dir, value, value, value, value, value, value, value, value, value, value,
                   value, value, value, value, value);
  }
  // The chunks of `script` through PrintCallback; returns what the driver collected.
  std::wstring Printed(const std::string& script) {
    fake_.Script(script);
    EXPECT_EQ(RunAll(0), 0);
    EXPECT_EQ(sLastMessage, sPrintText);
    return sLastMessage;
  }
  std::string PasswordLine(int size) {
    fake_.Script("password " + std::to_string(size));
    RunAll(0);
    std::string log = fake_.Log();
    size_t at = log.find("password ");
    return log.substr(at, log.find('\n', at) - at);
  }

  FakeUnzip fake_;
};

TEST_F(DriverTest, OptionsLandInTheirSlotsAndTextsAsUtf8) {
  fake_.Script("");
  // Argument number n carries the value n, so each slot shows which argument fed it.
  VBUnzip(L"/tmp/\u00E4rchiv.zip", L"/out dir", 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
          17);
  const auto options = fake_.Blob("options");
  ASSERT_EQ(options.size(), sizeof(UzOptionsRecord));
  const int fed_by[15] = {10, 4, 5, 6, 7, 8, 9, 3, 11, 12, 13, 14, 15, 16, 17};
  for (int slot = 0; slot < 15; ++slot)
    EXPECT_EQ(FakeUnzip::Word(options, 4 * slot), uint32_t(fed_by[slot])) << "offset " << 4 * slot;
  const auto zip = fake_.Blob("zipname");
  EXPECT_EQ(std::string(zip.begin(), zip.end()), "/tmp/\xC3\xA4rchiv.zip");
  const auto dir = fake_.Blob("extractdir");
  EXPECT_EQ(std::string(dir.begin(), dir.end()), "/out dir");
}

TEST_F(DriverTest, OptionsWidenWithTheirSign) {
  fake_.Script("");
  RunAll(-1);
  auto options = fake_.Blob("options");
  for (int slot = 0; slot < 15; ++slot) EXPECT_EQ(FakeUnzip::Word(options, 4 * slot), 0xFFFFFFFFu);
  RunAll(-32768);
  options = fake_.Blob("options");
  EXPECT_EQ(FakeUnzip::Word(options, 56), 0xFFFF8000u);
  RunAll(2);
  options = fake_.Blob("options");
  EXPECT_EQ(FakeUnzip::Word(options, 0), 2u);
}

TEST_F(DriverTest, AsksForTheVersionFirstWithABlankRecord) {
  fake_.Script("");
  RunAll(0);
  const std::string log = fake_.Log();
  ASSERT_EQ(log.rfind("UzpVersion2", 0), 0u) << log;
  EXPECT_NE(log.find("\nWiz_SingleEntryUnzip include=0 exclude=0\n"), std::string::npos);

  const auto version = fake_.Blob("version");
  ASSERT_EQ(version.size(), 64u);
  EXPECT_EQ(FakeUnzip::Word(version, 0), 64u);
  EXPECT_EQ(FakeUnzip::Word(version, 4), 0u);
  const std::string text(version.begin(), version.end());
  EXPECT_EQ(text.substr(8, 10), std::string(9, ' ') + '\0');
  EXPECT_EQ(text.substr(18, 20), std::string(19, ' ') + '\0');
  EXPECT_EQ(text.substr(38, 10), std::string(9, ' ') + '\0');
  EXPECT_EQ(text.substr(48, 16), std::string(16, '\0'));
}

TEST_F(DriverTest, NameListsAreEmptyAndCallbackRecordHoldsTheFiveRoutines) {
  fake_.Script("");
  RunAll(0);
  for (const char* list : {"include", "exclude"}) {
    const auto bytes = fake_.Blob(list);
    ASSERT_EQ(bytes.size(), sizeof(UzNameList));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), std::ptrdiff_t(bytes.size())) << list;
  }
  const auto counts = fake_.Blob("counts");
  EXPECT_EQ(FakeUnzip::Word(counts, 0), 0u);
  EXPECT_EQ(FakeUnzip::Word(counts, 4), 0u);

  const auto bytes = fake_.Blob("callbacks");
  ASSERT_EQ(bytes.size(), sizeof(UzCallbackRecord));
  UzCallbackRecord record;
  std::memcpy(&record, bytes.data(), sizeof(record));
  EXPECT_EQ(record.Print, &PrintCallback);
  EXPECT_EQ(record.Unused, nullptr);
  EXPECT_EQ(record.Replace, &ReplaceCallback);
  EXPECT_EQ(record.Password, &PasswordCallback);
  EXPECT_EQ(record.Message, &MessageCallback);
  EXPECT_EQ(record.Service, &ServiceCallback);
  const size_t totals = offsetof(UzCallbackRecord, TotalCompressedSize);
  EXPECT_EQ(std::count(bytes.begin() + totals, bytes.end(), 0),
            std::ptrdiff_t(bytes.size() - totals));
}

TEST_F(DriverTest, PrintChunksAndLineFeeds) {
  EXPECT_EQ(Printed("print 0a"), L"\r\n");
  // A leading line feed becomes CR LF and the rest of the chunk is kept.
  EXPECT_EQ(Printed("print 0a6f6b"), L"\r\nok");
  EXPECT_EQ(Printed("print 6f6b0a\nprint 0a"), L"ok\n\r\n");
  EXPECT_EQ(Printed("print 610a62"), L"a\nb");
  EXPECT_EQ(Printed("print-length 0 6162"), L"");
  EXPECT_EQ(Printed("print 0061"), L"");
  EXPECT_EQ(Printed("print 61006263"), L"a");
  // The length counts, not the bytes beyond it.
  EXPECT_EQ(Printed("print-length 2 616263"), L"ab");
  // Characters of several bytes survive whole.
  EXPECT_EQ(Printed("print 47726fc39f65"), L"Gro\u00DFe");
  EXPECT_NE(fake_.Log().find("print -> 0"), std::string::npos);
}

TEST_F(DriverTest, PrintTakesAtMost32801BytesOfAChunk) {
  EXPECT_EQ(Printed("print-repeat 40000 61"), std::wstring(32801, L'a'));
  EXPECT_EQ(Printed("print-repeat 32801 61\nprint 62"), std::wstring(32801, L'a') + L"b");
}

TEST_F(DriverTest, EachCallStartsWithEmptyTexts) {
  EXPECT_EQ(Printed("print-text first"), L"first");
  EXPECT_EQ(Printed("print-text second"), L"second");
  EXPECT_EQ(Printed("result 0"), L"");
  EXPECT_EQ(sPrintText, L"");
}

TEST_F(DriverTest, PasswordFitsInsideTheBuffer) {
  const std::string password = "616d6265724c594e585154";  // amberLYNXQT
  const std::string guard(32, 'a');                       // 16 bytes of 0xAA after the buffer
  EXPECT_EQ(PasswordLine(20), "password 20 -> 0 " + password + std::string(18, '0') + guard);
  EXPECT_EQ(PasswordLine(12), "password 12 -> 0 " + password + "00" + guard);
  // Too small for password and zero: zeros only, and nothing past the buffer.
  EXPECT_EQ(PasswordLine(11), "password 11 -> 0 " + std::string(22, '0') + guard);
  EXPECT_EQ(PasswordLine(3), "password 3 -> 0 000000" + guard);
  EXPECT_EQ(PasswordLine(0), "password 0 -> 0 " + guard);
  // Above 257 bytes only the first 257 are cleared.
  EXPECT_EQ(PasswordLine(300), "password 300 -> 0 " + password + std::string(2 * 246, '0') +
                                   std::string(2 * 43, 'a') + guard);
}

TEST_F(DriverTest, RepeatedPasswordRequestsGetTheSameAnswer) {
  fake_.Script("password 16\npassword 16\nmessage\nservice\nservice");
  EXPECT_EQ(RunAll(0), 0);
  const std::string log = fake_.Log();
  const std::string line =
      "password 16 -> 0 616d6265724c594e585154" + std::string(10, '0') + std::string(32, 'a');
  const size_t first = log.find(line);
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_NE(log.find(line, first + 1), std::string::npos);
  EXPECT_NE(log.find("message\nservice -> 0\nservice -> 0\n"), std::string::npos) << log;
}

TEST_F(DriverTest, LibraryResultComesBackUnchanged) {
  fake_.Script("print-text broken archive\nresult 82");
  EXPECT_EQ(RunAll(0), 82);
  EXPECT_EQ(sLastMessage, L"broken archive");
  fake_.Script("result -7");
  EXPECT_EQ(RunAll(0), -7);
}

}  // namespace
}  // namespace nocunzip
