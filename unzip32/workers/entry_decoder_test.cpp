// Decoding entries from an archive in memory: every way DecodeEntry takes (stored data,
// whole and streamed inflating, decryption), declared sizes and CRCs that lie, data cut
// short, and the passwords EntryUnlocker tries and asks for.
#include "workers/entry_decoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cstdio>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "decrypt/aes_primitives.h"
#include "decrypt/password.h"
#include "read/zip_format.h"
#include "testing/test_archive.h"

namespace nocunzip::unzip32 {
namespace {

using Bytes = std::vector<unsigned char>;
constexpr char kPassword[] = "amberLYNXQT";
// Bytes before the entry's data in the test archives, as a local header would be.
const std::string kBefore(37, 'L');

std::string TestData(size_t size) {
  std::mt19937 random(static_cast<unsigned>(size));
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() % 64 + 32);  // compresses somewhat
  return bytes;
}

uint32_t Crc(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// The format's traditional cipher, encrypting: the keys follow the plain bytes.
class TraditionalEncryptor {
 public:
  explicit TraditionalEncryptor(std::string_view password) {
    for (char c : password) Update(static_cast<unsigned char>(c));
  }
  std::string Encrypt(const std::string& plain) {
    std::string out;
    for (char c : plain) {
      const uint32_t t = (keys_[2] | 2) & 0xFFFF;
      out += static_cast<char>(static_cast<unsigned char>(c) ^ ((t * (t ^ 1)) >> 8));
      Update(static_cast<unsigned char>(c));
    }
    return out;
  }

 private:
  static uint32_t CrcByte(uint32_t crc, unsigned char byte) {
    return static_cast<uint32_t>(crc32(crc ^ 0xFFFFFFFF, &byte, 1)) ^ 0xFFFFFFFF;
  }
  void Update(unsigned char byte) {
    keys_[0] = CrcByte(keys_[0], byte);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813 + 1;
    keys_[2] = CrcByte(keys_[2], static_cast<unsigned char>(keys_[1] >> 24));
  }
  uint32_t keys_[3] = {0x12345678, 0x23456789, 0x34567890};
};

// Header (11 bytes and the check byte), then the data.
std::string EncryptTraditional(const std::string& data, uint8_t check_byte,
                               std::string_view password = kPassword) {
  TraditionalEncryptor encryptor(password);
  return encryptor.Encrypt(std::string("0123456789A") + static_cast<char>(check_byte) + data);
}

// WinZip AES: salt, check bytes, the data in counter mode, and the code over it.
std::string EncryptAes(const std::string& data, uint16_t key_bits,
                       std::string_view password = kPassword) {
  auto primitives = AesPrimitives::Open();
  EXPECT_NE(primitives, nullptr);
  const size_t key = key_bits / 8;
  const Bytes salt(key / 2, 0x5A);
  Bytes derived(2 * key + 2);
  EXPECT_TRUE(primitives->Pbkdf2HmacSha1(password, salt, 1000, derived));
  const std::span<const unsigned char> keys(derived);
  auto aes = primitives->MakeBlockEncryptor(keys.first(key));
  Bytes encrypted(data.begin(), data.end());
  for (size_t at = 0; at < encrypted.size(); at += kAesBlockSize) {
    unsigned char block[kAesBlockSize] = {};
    for (size_t i = 0, n = at / kAesBlockSize + 1; i < 8; ++i, n >>= 8) block[i] = n & 0xFF;
    EXPECT_TRUE(aes->Encrypt(block));
    for (size_t i = 0; i < kAesBlockSize && at + i < encrypted.size(); ++i) {
      encrypted[at + i] ^= block[i];
    }
  }
  auto hmac = primitives->MakeHmacSha1(keys.subspan(key, key));
  std::array<unsigned char, kSha1Size> code;
  EXPECT_TRUE(hmac->Update(encrypted) && hmac->Finish(code));
  std::string out(salt.begin(), salt.end());
  out.append(derived.end() - 2, derived.end());
  out.append(encrypted.begin(), encrypted.end());
  out.append(code.begin(), code.begin() + zip::kAesAuthenticationCodeSize);
  return out;
}

// Collects what it is given, on the decoding thread or, like a file, on another one.
class StringSink : public ByteSink {
 public:
  explicit StringSink(bool off_thread) : off_thread_(off_thread) {}
  IoResult Write(const unsigned char* data, size_t size) override {
    written.append(reinterpret_cast<const char*>(data), size);
    return IoResult::Ok();
  }
  bool WritesOffThread() const override { return off_thread_; }
  std::string written;

 private:
  bool off_thread_;
};

enum class Lock { kNone, kTraditional, kAe1, kAe2 };

struct DecodeCase {
  const char* label;
  uint16_t method;
  size_t size;
  Lock lock = Lock::kNone;
  // Changes the entry as the central directory would declare it, or the archive's bytes.
  std::function<void(Entry&)> declare = nullptr;
  // Damages the archive, whose entry data end at `end`.
  std::function<void(std::string& archive, size_t end)> damage = nullptr;
  const char* refusal = nullptr;  // a part of the message; null: decoded
};

void ChangeByte(std::string& archive, size_t at) { archive[at] ^= 0x01; }

const DecodeCase kDecodeCases[] = {
    {"StoredSmall", zip::kMethodStored, 1000},
    {"StoredEmpty", zip::kMethodStored, 0},
    {"StoredLarge", zip::kMethodStored, 5u << 20},
    {"StoredLargeBadCrc", zip::kMethodStored, 5u << 20, Lock::kNone, [](Entry& e) { e.crc ^= 1; },
     nullptr, "CRC mismatch"},
    {"StoredLargeCutShort", zip::kMethodStored, 5u << 20, Lock::kNone, nullptr,
     [](std::string& a, size_t end) { a.resize(end - 1); }, "cut short"},
    {"StoredSizeTooLarge", zip::kMethodStored, 1000, Lock::kNone,
     [](Entry& e) { e.uncompressed_size += 1; }, nullptr, "shorter than its declared size"},
    {"StoredCutShort", zip::kMethodStored, 1000, Lock::kNone, nullptr,
     [](std::string& a, size_t end) { a.resize(end - 1); }, "cut short"},
    {"DeflateWhole", zip::kMethodDeflate, 100000},
    {"DeflateWholeEmpty", zip::kMethodDeflate, 0},
    {"DeflateWholeSizeTooSmall", zip::kMethodDeflate, 100000, Lock::kNone,
     [](Entry& e) { e.uncompressed_size -= 1; }, nullptr, "longer than its declared size"},
    {"DeflateWholeSizeTooLarge", zip::kMethodDeflate, 100000, Lock::kNone,
     [](Entry& e) { e.uncompressed_size += 1; }, nullptr, "shorter than its declared size"},
    {"DeflateWholeBadCrc", zip::kMethodDeflate, 100000, Lock::kNone,
     [](Entry& e) { e.crc ^= 0x80000000; }, nullptr, "CRC mismatch"},
    {"DeflateWholeCutShort", zip::kMethodDeflate, 100000, Lock::kNone, nullptr,
     [](std::string& a, size_t end) { a.resize(end - 10); }, "cut short"},
    {"DeflateStreamed", zip::kMethodDeflate, 6u << 20},
    {"DeflateStreamedSizeTooSmall", zip::kMethodDeflate, 6u << 20, Lock::kNone,
     [](Entry& e) { e.uncompressed_size -= 1; }, nullptr, "longer than its declared size"},
    {"DeflateStreamedSizeTooLarge", zip::kMethodDeflate, 6u << 20, Lock::kNone,
     [](Entry& e) { e.uncompressed_size += 1; }, nullptr, "shorter than its declared size"},
    {"DeflateStreamedBadCrc", zip::kMethodDeflate, 6u << 20, Lock::kNone,
     [](Entry& e) { e.crc ^= 1; }, nullptr, "CRC mismatch"},
    // The directory declares less data than the stream holds: it ends before its end.
    {"DeflateStreamedDataCut", zip::kMethodDeflate, 6u << 20, Lock::kNone,
     [](Entry& e) { e.compressed_size /= 2; }, nullptr, "shorter than its declared size"},
    // The directory declares more data than the stream holds: the bytes after its end are
    // no part of the entry.
    {"DeflateWholeEndsEarly", zip::kMethodDeflate, 100000, Lock::kNone,
     [](Entry& e) { e.compressed_size += 7; }, nullptr, "end 7 bytes before their recorded size"},
    {"DeflateStreamedEndsEarly", zip::kMethodDeflate, 6u << 20, Lock::kNone,
     [](Entry& e) { e.compressed_size += 7; }, nullptr, "end 7 bytes before their recorded size"},
    {"TraditionalEndsEarly", zip::kMethodDeflate, 300000, Lock::kTraditional,
     [](Entry& e) { e.compressed_size += 7; }, nullptr, "end 7 bytes before their recorded size"},
    {"TraditionalStored", zip::kMethodStored, 1000, Lock::kTraditional},
    {"TraditionalDeflate", zip::kMethodDeflate, 300000, Lock::kTraditional},
    {"TraditionalBadCrc", zip::kMethodDeflate, 300000, Lock::kTraditional,
     [](Entry& e) { e.crc ^= 1; }, nullptr, "CRC mismatch"},
    {"Ae1Deflate", zip::kMethodDeflate, 300000, Lock::kAe1},
    {"Ae1StoredLarge", zip::kMethodStored, 5u << 20, Lock::kAe1},
    {"Ae1BadCrc", zip::kMethodDeflate, 300000, Lock::kAe1, [](Entry& e) { e.crc ^= 1; }, nullptr,
     "CRC mismatch"},
    {"Ae2IgnoresTheCrcField", zip::kMethodDeflate, 300000, Lock::kAe2},
    {"Ae2TamperedData", zip::kMethodStored, 300000, Lock::kAe2, nullptr,
     [](std::string& a, size_t) { ChangeByte(a, kBefore.size() + 1000); }, "authentication code"},
    {"Ae2TamperedCode", zip::kMethodDeflate, 300000, Lock::kAe2, nullptr,
     [](std::string& a, size_t end) { ChangeByte(a, end - 1); }, "authentication code"},
    {"Ae2ShorterThanHeader", zip::kMethodStored, 0, Lock::kAe2,
     [](Entry& e) { e.compressed_size = 20; }, nullptr, "encryption header"},
};

void PrintTo(const DecodeCase& c, std::ostream* os) { *os << c.label; }

class DecodeEntryTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeEntryTest, DecodesOrRefuses) {
  const DecodeCase& c = GetParam();
  const std::string original = TestData(c.size);
  std::string data = c.method == zip::kMethodDeflate ? testing::DeflateRaw(original) : original;
  Entry entry;
  entry.name = c.label;
  entry.method = c.method;
  entry.crc = Crc(original);
  entry.uncompressed_size = original.size();
  std::unique_ptr<Cipher> cipher;
  if (c.lock == Lock::kTraditional) {
    entry.encryption = Encryption::kTraditional;
    data = EncryptTraditional(data, static_cast<uint8_t>(entry.crc >> 24));
    cipher = MakeTraditionalCipher(static_cast<uint8_t>(entry.crc >> 24));
  } else if (c.lock != Lock::kNone) {
    entry.encryption = Encryption::kAes;
    entry.aes_key_bits = 256;
    entry.aes_version = c.lock == Lock::kAe1 ? 1 : 2;
    entry.crc_known = c.lock == Lock::kAe1;
    if (!entry.crc_known) entry.crc = 0;
    data = EncryptAes(data, 256);
    cipher = MakeAesCipher(256);
  }
  entry.compressed_size = data.size();
  std::string archive = kBefore + data + "PK\1\2 and the rest of the archive";
  const auto* header = reinterpret_cast<const unsigned char*>(data.data());
  if (c.declare) c.declare(entry);
  if (c.damage) c.damage(archive, kBefore.size() + data.size());

  testing::StringReader reader(archive);
  DecodeBuffers buffers;
  for (const bool off_thread : {false, true}) {
    SCOPED_TRACE(off_thread ? "written off thread" : "written here");
    StringSink sink(off_thread);
    if (cipher != nullptr) {
      ASSERT_TRUE(cipher->Start(kPassword, std::span(header, cipher->header_size())));
    }
    const DecodeResult result =
        DecodeEntry(reader, kBefore.size(), entry, cipher.get(), sink, buffers);
    EXPECT_LE(sink.written.size(), entry.uncompressed_size) << "more than declared was passed on";
    if (c.refusal == nullptr) {
      ASSERT_TRUE(result.ok()) << result.message;
      EXPECT_TRUE(sink.written == original) << "decoded data differ";
    } else {
      EXPECT_EQ(result.status, DecodeResult::kCorrupt);
      EXPECT_NE(result.message.find(c.refusal), std::string::npos) << result.message;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Ways, DecodeEntryTest, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- Passwords: the one held is tried first, the caller is asked at most three times.

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
    const std::string original = TestData(300);
    Entry entry;
    entry.name = "entry";
    entry.encryption = step.encryption;
    entry.aes_key_bits = step.aes_key_bits;
    entry.crc = Crc(original);
    entry.dos_time = 0xA5C3;
    entry.flags = step.descriptor ? zip::kFlagDataDescriptor : 0;
    const uint8_t check = static_cast<uint8_t>(step.descriptor ? 0xA5 : entry.crc >> 24);
    const std::string data = step.encryption == kAes
                                 ? EncryptAes(original, 256, step.password)
                                 : EncryptTraditional(original, check, step.password);
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
    StringSink sink(false);
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
