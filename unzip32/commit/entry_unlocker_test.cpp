// The passwords that EntryUnlocker tries and asks for: the one held first, then the
// caller's answers, at most three for one entry; the cipher it hands over decodes.
#include "commit/entry_unlocker.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "read/zip_format.h"
#include "testing/test_archive.h"
#include "testing/test_entries.h"
#include "workers/entry_decoder.h"

namespace nocunzip::unzip32 {
namespace {

constexpr char kPassword[] = "amberLYNXQT";
// Bytes before the entry's data, as a local header would be.
const std::string kBefore(37, 'L');

uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

thread_local std::deque<std::string>* answers = nullptr;
thread_local int asks = 0;

int32_t UZ_CALL Answer(char* buffer, int32_t size, const char*, const char*) {
  ++asks;
  if (answers->empty()) return 1;  // the caller gives none
  const std::string answer = answers->front();
  answers->pop_front();
  snprintf(buffer, static_cast<size_t>(size), "%s", answer.c_str());
  return 0;
}

// One entry unlocked, after those before it with the same unlocker.
struct UnlockStep {
  Encryption encryption;
  const char* password;  // the entry is encrypted with
  std::deque<std::string> answers;
  UnlockedEntry::Status status;
  int asks;
  const char* message = "";  // a part of it
  uint16_t aes_key_bits = 256;
  bool descriptor = false;  // the check byte comes from the time
};

struct UnlockCase {
  const char* label;
  std::vector<UnlockStep> steps;
};

constexpr auto kTrad = Encryption::kTraditional;
constexpr auto kAes = Encryption::kAes;
constexpr auto kOk = UnlockedEntry::kOk;
constexpr auto kNo = UnlockedEntry::kNoPassword;

const UnlockCase kUnlockCases[] = {
    {"HeldPasswordIsTriedFirst",
     {{kTrad, kPassword, {kPassword}, kOk, 1},
      {kAes, kPassword, {}, kOk, 0},
      {kTrad, kPassword, {}, kOk, 0, "", 256, true}}},
    {"RightAtTheThirdAsk", {{kAes, kPassword, {"one", "two", kPassword}, kOk, 3}}},
    {"ThreeWrongAnswersEndTheEntryOnly",
     {{kTrad, kPassword, {"one", "two", "three", kPassword}, kNo, 3, "wrong password (asked 3"},
      {kTrad, kPassword, {kPassword}, kOk, 1}}},
    {"HeldPasswordFailsForAnotherEntry",
     {{kAes, kPassword, {kPassword}, kOk, 1},
      {kAes, "other", {"other"}, kOk, 1},
      {kTrad, "other", {}, kOk, 0, "", 256, true}}},
    {"CallerGivesNone", {{kTrad, kPassword, {}, kNo, 1, "no password was given"}}},
    {"UnsupportedKinds",
     {{Encryption::kUnsupported, kPassword, {}, UnlockedEntry::kUnsupported, 0, "not supported"},
      {kAes, kPassword, {}, UnlockedEntry::kUnsupported, 0, "not supported", 100}}},
    {"Unencrypted", {{Encryption::kNone, "", {}, kOk, 0}}},
};

void PrintTo(const UnlockCase& c, std::ostream* os) { *os << c.label; }

class EntryUnlockerTest : public ::testing::TestWithParam<UnlockCase> {};

TEST_P(EntryUnlockerTest, TriesHeldPasswordThenAsks) {
  UzCallbackRecord callbacks{};
  callbacks.Password = Answer;
  Reporter reporter(callbacks, 0, false);
  PasswordStore store;
  EntryUnlocker unlocker(reporter, store);
  int index = 0;
  for (const UnlockStep& step : GetParam().steps) {
    SCOPED_TRACE("entry " + std::to_string(index++));
    const std::string original(300, 'u');
    Entry entry;
    entry.name = "entry";
    entry.encryption = step.encryption;
    entry.aes_key_bits = step.aes_key_bits;
    entry.crc = Crc(original);
    entry.dos_time = 0xA5C3;
    entry.flags = step.descriptor ? zip::kFlagDataDescriptor : 0;
    const uint8_t check = static_cast<uint8_t>(step.descriptor ? 0xA5 : entry.crc >> 24);
    const std::string data = step.encryption == kAes
                                 ? testing::EncryptAes(original, 256, step.password)
                                 : testing::EncryptTraditional(original, check, step.password);
    entry.compressed_size = data.size();
    entry.uncompressed_size = original.size();
    testing::StringReader reader(kBefore + data);
    std::deque<std::string> given = step.answers;
    answers = &given;
    asks = 0;
    // A worker, which asks nobody, gets as far as the password held takes it.
    const UnlockedEntry held = TryHeldPassword(reader, kBefore.size(), entry, store);
    EXPECT_EQ(held.status, step.asks > 0 ? UnlockedEntry::kNeedsPassword : step.status);
    EXPECT_EQ(asks, 0);
    UnlockedEntry unlocked = unlocker.Unlock(reader, kBefore.size(), entry);
    answers = nullptr;
    EXPECT_EQ(unlocked.status, step.status) << unlocked.message;
    EXPECT_EQ(asks, step.asks);
    EXPECT_NE(unlocked.message.find(step.message), std::string::npos) << unlocked.message;
    if (unlocked.status != kOk || step.encryption == Encryption::kNone) {
      EXPECT_EQ(unlocked.cipher, nullptr);
      continue;
    }
    // The cipher is ready: the entry decodes.
    ASSERT_NE(unlocked.cipher, nullptr);
    testing::StringSink sink(false);
    DecodeBuffers buffers;
    const DecodeResult result =
        DecodeEntry(reader, kBefore.size(), entry, unlocked.cipher.get(), sink, buffers);
    EXPECT_TRUE(result.ok()) << result.message;
    EXPECT_TRUE(sink.written == original);
  }
}

TEST(EntryUnlockerCutShortTest, MissingHeaderFails) {
  UzCallbackRecord callbacks{};
  Reporter reporter(callbacks, 0, false);
  PasswordStore store;
  EntryUnlocker unlocker(reporter, store);
  Entry entry;
  entry.encryption = kAes;
  entry.aes_key_bits = 128;
  entry.compressed_size = 30;
  testing::StringReader reader(kBefore + "012345678");  // 9 of the 10 header bytes
  const UnlockedEntry unlocked = unlocker.Unlock(reader, kBefore.size(), entry);
  EXPECT_EQ(unlocked.status, UnlockedEntry::kFailed);
  EXPECT_NE(unlocked.message.find("cut short"), std::string::npos) << unlocked.message;
}

INSTANTIATE_TEST_SUITE_P(Steps, EntryUnlockerTest, ::testing::ValuesIn(kUnlockCases),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace nocunzip::unzip32
