// Decoding entries from an archive in memory: every way DecodeEntry takes (stored data,
// whole and streamed inflating, decryption), declared sizes and CRCs that lie, data cut
// short.
#include "workers/entry_decoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "read/zip_format.h"
#include "testing/test_archive.h"
#include "testing/test_entries.h"

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
    data = testing::EncryptTraditional(data, static_cast<uint8_t>(entry.crc >> 24), kPassword);
    cipher = MakeTraditionalCipher(static_cast<uint8_t>(entry.crc >> 24));
  } else if (c.lock != Lock::kNone) {
    entry.encryption = Encryption::kAes;
    entry.aes_key_bits = 256;
    entry.aes_version = c.lock == Lock::kAe1 ? 1 : 2;
    entry.crc_known = c.lock == Lock::kAe1;
    if (!entry.crc_known) entry.crc = 0;
    data = testing::EncryptAes(data, 256, kPassword);
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
    testing::StringSink sink(off_thread);
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

}  // namespace
}  // namespace nocunzip::unzip32
