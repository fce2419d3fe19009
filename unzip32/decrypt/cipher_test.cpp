// The two ciphers and the platform's cryptography beneath WinZip AES: known answers for the
// primitives, then entries encrypted by libzip, 7-Zip and bsdtar, decrypted here.
#include "decrypt/cipher.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "decrypt/aes_primitives.h"
#include "read/zip_format.h"
#include "testing/test_archive.h"

namespace nocunzip::unzip32 {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes Hex(std::string_view hex) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(
        static_cast<unsigned char>(std::stoul(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return bytes;
}
Bytes Text(std::string_view text) { return Bytes(text.begin(), text.end()); }
Bytes Repeat(unsigned char byte, size_t count) { return Bytes(count, byte); }

// ---- Known answers for the primitives, on whichever platform runs the test.

class PrimitivesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    primitives_ = AesPrimitives::Open();
    ASSERT_NE(primitives_, nullptr);
  }
  std::unique_ptr<AesPrimitives> primitives_;
};

TEST_F(PrimitivesTest, Pbkdf2HmacSha1MatchesRfc6070) {
  struct Case {
    std::string_view password, salt;
    uint32_t rounds;
    const char* expected;
  };
  using namespace std::string_view_literals;
  const Case cases[] = {
      {"password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
      {"password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
      {"password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
      {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
       "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
      {"pass\0word"sv, "sa\0lt"sv, 4096, "56fa6aa75548099dcc37d7f03425e0c3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    const Bytes expected = Hex(c.expected);
    Bytes out(expected.size());
    ASSERT_TRUE(primitives_->Pbkdf2HmacSha1(c.password, Text(c.salt), c.rounds, out));
    EXPECT_EQ(out, expected);
  }
}

TEST_F(PrimitivesTest, AesBlocksMatchFips197AndAreEncryptedEachOnItsOwn) {
  struct Case {
    const char *key, *plain, *cipher;
  };
  const Case cases[] = {
      {"2b7e151628aed2a6abf7158809cf4f3c", "3243f6a8885a308d313198a2e0370734",
       "3925841d02dc09fbdc118597196a0b32"},
      {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
       "69c4e0d86a7b0430d8cdb78070b4c55a"},
      {"000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
       "dda97ca4864cdfe06eaf70a0ec0d7191"},
      {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
       "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    auto encryptor = primitives_->MakeBlockEncryptor(Hex(c.key));
    ASSERT_NE(encryptor, nullptr);
    // Three equal blocks in one call, then one more: no chaining, no state between calls.
    const Bytes plain = Hex(c.plain);
    Bytes blocks;
    for (int i = 0; i < 3; ++i) blocks.insert(blocks.end(), plain.begin(), plain.end());
    ASSERT_TRUE(encryptor->Encrypt(blocks));
    Bytes last = plain;
    ASSERT_TRUE(encryptor->Encrypt(last));
    const Bytes expected = Hex(c.cipher);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(Bytes(blocks.begin() + 16 * i, blocks.begin() + 16 * (i + 1)), expected) << i;
    }
    EXPECT_EQ(last, expected);
  }
  EXPECT_EQ(primitives_->MakeBlockEncryptor(Bytes(20)), nullptr);
}

TEST_F(PrimitivesTest, HmacSha1MatchesRfc2202InAnyPieces) {
  struct Case {
    Bytes key, data;
    const char* expected;
  };
  const Case cases[] = {
      {Repeat(0x0b, 20), Text("Hi There"), "b617318655057264e28bc0b6fb378c8ef146be00"},
      {Text("Jefe"), Text("what do ya want for nothing?"),
       "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79"},
      {Repeat(0xaa, 20), Repeat(0xdd, 50), "125d7342b9ac11cd91a39af48aa17b4f63f175d3"},
      {Hex("0102030405060708090a0b0c0d0e0f10111213141516171819"), Repeat(0xcd, 50),
       "4c9007f4026250c6bc8414f9bf50c86c2d7235da"},
      {Repeat(0x0c, 20), Text("Test With Truncation"), "4c1a03424b55e07fe7f27be1d58bb9324a9a5a04"},
      {Repeat(0xaa, 80), Text("Test Using Larger Than Block-Size Key - Hash Key First"),
       "aa4ae5e15272d00e95705637ce8a3b55ed402112"},
      {Repeat(0xaa, 80),
       Text("Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data"),
       "e8e99d0f45237d786d6bbaa7965c7808bbff1a91"},
  };
  for (const Case& c : cases) {
    for (size_t split : {size_t{0}, size_t{1}, c.data.size() / 2, c.data.size()}) {
      SCOPED_TRACE(std::string(c.expected) + " split at " + std::to_string(split));
      auto hmac = primitives_->MakeHmacSha1(c.key);
      ASSERT_NE(hmac, nullptr);
      const std::span<const unsigned char> data(c.data);
      ASSERT_TRUE(hmac->Update(data.first(split)));
      ASSERT_TRUE(hmac->Update(data.subspan(split)));
      std::array<unsigned char, kSha1Size> code;
      ASSERT_TRUE(hmac->Finish(code));
      EXPECT_EQ(Bytes(code.begin(), code.end()), Hex(c.expected));
    }
  }
}

// ---- Entries encrypted by other writers.

enum class Writer { kLibzip, k7zz, kBsdtar };
enum class Kind { kTraditional, kAes128, kAes192, kAes256 };

struct WriterCase {
  const char* label;
  Writer writer;
  Kind kind;
  bool deflate;
  size_t size;
  uint16_t aes_version;  // that the writer puts in the AES field (0: no AES)
};

// What each writer does, seen with libzip 1.7.3, 7-Zip 26.02 and bsdtar 3.6.2: libzip
// writes version 2 (AE-2) and keeps the CRC of entries of 20 bytes or more; 7-Zip writes
// AE-2 without CRC; bsdtar writes AE-1 with CRC, and AE-2 below 20 bytes. libzip and bsdtar
// write traditional entries with a data descriptor, which moves the check byte to the time.
const WriterCase kWriterCases[] = {
    {"LibzipTraditionalStored", Writer::kLibzip, Kind::kTraditional, false, 10, 0},
    {"LibzipTraditionalDeflated", Writer::kLibzip, Kind::kTraditional, true, 300000, 0},
    {"LibzipAes128Deflated", Writer::kLibzip, Kind::kAes128, true, 300000, 2},
    {"LibzipAes192Stored", Writer::kLibzip, Kind::kAes192, false, 5000, 2},
    {"LibzipAes256Deflated", Writer::kLibzip, Kind::kAes256, true, 300000, 2},
    {"LibzipAes256StoredTiny", Writer::kLibzip, Kind::kAes256, false, 10, 2},
    {"SevenZipTraditionalStored", Writer::k7zz, Kind::kTraditional, false, 10, 0},
    {"SevenZipTraditionalDeflated", Writer::k7zz, Kind::kTraditional, true, 300000, 0},
    {"SevenZipAes128Deflated", Writer::k7zz, Kind::kAes128, true, 300000, 2},
    {"SevenZipAes192Deflated", Writer::k7zz, Kind::kAes192, true, 300000, 2},
    {"SevenZipAes256Stored", Writer::k7zz, Kind::kAes256, false, 70000, 2},
    {"SevenZipAes256Deflated", Writer::k7zz, Kind::kAes256, true, 300000, 2},
    {"BsdtarTraditionalDeflated", Writer::kBsdtar, Kind::kTraditional, true, 300000, 0},
    {"BsdtarAes128Deflated", Writer::kBsdtar, Kind::kAes128, true, 300000, 1},
    {"BsdtarAes256Stored", Writer::kBsdtar, Kind::kAes256, false, 70000, 1},
    {"BsdtarAes256StoredTiny", Writer::kBsdtar, Kind::kAes256, false, 10, 2},
};

constexpr char kPassword[] = "amberLYNXQT";

uint16_t KeyBits(Kind kind) {
  switch (kind) {
    case Kind::kAes128:
      return 128;
    case Kind::kAes192:
      return 192;
    case Kind::kAes256:
      return 256;
    default:
      return 0;
  }
}

std::string TestData(size_t size) {
  std::mt19937 random(static_cast<unsigned>(size));
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() % 64 + 32);  // compresses somewhat
  return bytes;
}

// The first entry of an archive as its central record and local header describe it.
struct StoredEntry {
  uint16_t flags = 0;
  uint16_t method = 0;  // for AES entries the one its AES field names
  uint16_t dos_time = 0;
  uint32_t crc = 0;
  uint16_t aes_version = 0;
  uint16_t aes_key_bits = 0;
  Bytes data;  // encryption header, encrypted data, trailer
};

std::optional<StoredEntry> ReadFirstEntry(const std::string& archive) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(archive.data());
  if (archive.size() < zip::kEndSize) return std::nullopt;
  const unsigned char* end = bytes + archive.size() - zip::kEndSize;  // no comment
  if (Get32(end) != zip::kEndSignature) return std::nullopt;
  const unsigned char* central = bytes + Get32(end + 16);
  if (Get32(central) != zip::kCentralHeaderSignature) return std::nullopt;
  StoredEntry entry;
  entry.flags = Get16(central + 8);
  entry.method = Get16(central + 10);
  entry.dos_time = Get16(central + 12);
  entry.crc = Get32(central + 16);
  const uint32_t compressed = Get32(central + 20);
  const unsigned char* extra = central + zip::kCentralHeaderSize + Get16(central + 28);
  const unsigned char* extra_end = extra + Get16(central + 30);
  for (; extra + 4 <= extra_end; extra += 4 + Get16(extra + 2)) {
    if (Get16(extra) != zip::kExtraAes) continue;
    entry.aes_version = Get16(extra + 4);
    entry.aes_key_bits = static_cast<uint16_t>(64 + 64 * extra[8]);  // 1, 2, 3: 128, 192, 256
    entry.method = Get16(extra + 9);
  }
  const unsigned char* local = bytes + Get32(central + 42);
  if (Get32(local) != zip::kLocalHeaderSignature) return std::nullopt;
  const unsigned char* data = local + zip::kLocalHeaderSize + Get16(local + 26) + Get16(local + 28);
  if (data + compressed > bytes + archive.size()) return std::nullopt;
  entry.data.assign(data, data + compressed);
  return entry;
}

#ifndef _WIN32
// Runs a writer's command in `directory`; false when it fails.
bool RunIn(const std::filesystem::path& directory, const std::string& command) {
  const std::string line =
      "cd '" + directory.string() + "' && " + command + " >/dev/null 2>&1 </dev/null";
  return std::system(line.c_str()) == 0;
}

bool ToolExists(const char* tool) {
  return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

// The command line of 7-Zip or bsdtar that writes test.zip from entry.bin.
std::string ToolCommand(const WriterCase& c) {
  static constexpr const char* k7zzKinds[] = {"ZipCrypto", "AES128", "AES192", "AES256"};
  static constexpr const char* kBsdtarKinds[] = {"zipcrypt", "aes128", "aes192", "aes256"};
  const int kind = static_cast<int>(c.kind);
  if (c.writer == Writer::k7zz) {
    return std::string("7zz a -tzip -p") + kPassword + " -mem=" + k7zzKinds[kind] +
           (c.deflate ? " -mm=Deflate" : " -mx=0") + " test.zip entry.bin";
  }
  return std::string("bsdtar --format zip --passphrase ") + kPassword +
         " --options zip:encryption=" + kBsdtarKinds[kind] +
         ",zip:compression=" + (c.deflate ? "deflate" : "store") + " -cf test.zip entry.bin";
}
#endif

// Inflates raw deflate data; nullopt when it is not valid.
std::optional<std::string> Inflate(std::span<const unsigned char> compressed) {
  z_stream stream{};
  if (inflateInit2(&stream, -15) != Z_OK) return std::nullopt;
  std::string out;
  std::array<char, 65536> buffer;
  stream.next_in = const_cast<Bytef*>(compressed.data());
  stream.avail_in = static_cast<uInt>(compressed.size());
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
    stream.avail_out = static_cast<uInt>(buffer.size());
    status = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer.data(), buffer.size() - stream.avail_out);
  }
  inflateEnd(&stream);
  if (status != Z_STREAM_END) return std::nullopt;
  return out;
}

class WriterTest : public ::testing::TestWithParam<WriterCase> {
 protected:
  void SetUp() override {
    const WriterCase& c = GetParam();
    original_ = TestData(c.size);
    std::string archive;
    ASSERT_NO_FATAL_FAILURE(Write(c, &archive));
    if (IsSkipped()) return;
    std::optional<StoredEntry> entry = ReadFirstEntry(archive);
    ASSERT_TRUE(entry.has_value()) << "cannot read the archive's first entry";
    entry_ = std::move(*entry);
    ASSERT_EQ(entry_.flags & zip::kFlagEncrypted, zip::kFlagEncrypted);
    ASSERT_EQ(entry_.method, c.deflate ? zip::kMethodDeflate : zip::kMethodStored);
    ASSERT_EQ(entry_.aes_key_bits, KeyBits(c.kind));
    EXPECT_EQ(entry_.aes_version, c.aes_version);
    ASSERT_NE(MakeCipher(), nullptr);
    ASSERT_GE(entry_.data.size(), MakeCipher()->header_size() + MakeCipher()->trailer_size());
  }

  void Write(const WriterCase& c, std::string* archive) {
    const testing::ScratchDir scratch;
    if (c.writer == Writer::kLibzip) {
      static constexpr uint16_t kLibzipKinds[] = {ZIP_EM_TRAD_PKWARE, ZIP_EM_AES_128,
                                                  ZIP_EM_AES_192, ZIP_EM_AES_256};
      ASSERT_NO_FATAL_FAILURE(testing::WriteZip(
          scratch / "test.zip", {{.name = "entry.bin",
                                  .data = original_,
                                  .method = c.deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE,
                                  .encryption = kLibzipKinds[static_cast<int>(c.kind)],
                                  .password = kPassword}}));
    } else {
#ifdef _WIN32
      GTEST_SKIP() << "7zz and bsdtar are Linux tools here";
#else
      const char* tool = c.writer == Writer::k7zz ? "7zz" : "bsdtar";
      if (!ToolExists(tool)) GTEST_SKIP() << tool << " is not installed";
      testing::WriteFileBytes(scratch / "entry.bin", original_);
      ASSERT_TRUE(RunIn(scratch.path(), ToolCommand(c))) << ToolCommand(c);
#endif
    }
    *archive = testing::ReadFileBytes(scratch / "test.zip");
  }

  std::unique_ptr<Cipher> MakeCipher() const {
    if (entry_.aes_key_bits) return MakeAesCipher(entry_.aes_key_bits);
    // With a data descriptor the writer may not know the CRC yet: the check byte comes from
    // the time instead.
    const bool descriptor = entry_.flags & zip::kFlagDataDescriptor;
    return MakeTraditionalCipher(
        static_cast<uint8_t>(descriptor ? entry_.dos_time >> 8 : entry_.crc >> 24));
  }

  // The parts of the entry's stored bytes (`stored`, normally entry_.data) for `cipher`.
  static std::span<const unsigned char> Header(const Cipher& cipher, const Bytes& stored) {
    return std::span(stored).first(cipher.header_size());
  }
  static std::span<const unsigned char> Trailer(const Cipher& cipher, const Bytes& stored) {
    return std::span(stored).last(cipher.trailer_size());
  }
  static Bytes EncryptedData(const Cipher& cipher, const Bytes& stored) {
    const auto begin = stored.begin() + static_cast<ptrdiff_t>(cipher.header_size());
    return Bytes(begin, stored.end() - static_cast<ptrdiff_t>(cipher.trailer_size()));
  }

  // Decrypts `data` in place in pieces of the sizes in `pieces`, cycling through them.
  static void DecryptInPieces(Cipher& cipher, std::span<unsigned char> data,
                              std::span<const size_t> pieces) {
    for (size_t i = 0; !data.empty(); ++i) {
      const size_t step = std::min(data.size(), pieces[i % pieces.size()]);
      cipher.Decrypt(data.first(step));
      data = data.subspan(step);
    }
  }

  // The entry's contents from its decrypted data; nullopt when it does not inflate.
  std::optional<std::string> Contents(const Bytes& plain) const {
    if (entry_.method == zip::kMethodDeflate) return Inflate(plain);
    return std::string(plain.begin(), plain.end());
  }

  std::string original_;
  StoredEntry entry_;
};

TEST_P(WriterTest, RightPasswordDecryptsInPiecesOfAnySize) {
  const std::vector<size_t> whole = {SIZE_MAX};
  const std::vector<size_t> ragged = {1, 3, 16, 17, 4093, 65541, 1 << 20};
  const std::vector<size_t> blockwise = {15, 1, 32, 8192, 8193};
  for (const auto* pieces : {&whole, &ragged, &blockwise}) {
    SCOPED_TRACE("pieces from " + std::to_string(pieces->front()));
    auto cipher = MakeCipher();
    ASSERT_TRUE(cipher->Start(kPassword, Header(*cipher, entry_.data)));
    Bytes data = EncryptedData(*cipher, entry_.data);
    DecryptInPieces(*cipher, data, *pieces);
    EXPECT_TRUE(cipher->Finish(Trailer(*cipher, entry_.data)));
    EXPECT_EQ(Contents(data), original_);
  }
}

TEST_P(WriterTest, WrongPasswordsAreRefusedAndTheRightOneStillWorksAfterThem) {
  auto cipher = MakeCipher();
  // The traditional check is a single byte: about one wrong password in 256 passes it, and
  // only the decrypted data show it wrong.
  const int attempts = entry_.aes_key_bits ? 4 : 300;
  int passed = 0;
  for (int i = 0; i < attempts; ++i) {
    const std::string wrong = i == 0 ? "" : i == 1 ? "AMBERlynxqt" : "wrong" + std::to_string(i);
    if (!cipher->Start(wrong, Header(*cipher, entry_.data))) continue;
    ++passed;
    Bytes data = EncryptedData(*cipher, entry_.data);
    cipher->Decrypt(data);
    const bool authenticated = cipher->Finish(Trailer(*cipher, entry_.data));
    EXPECT_FALSE(authenticated && Contents(data) == original_) << wrong;
    if (entry_.aes_key_bits) {
      EXPECT_FALSE(authenticated) << wrong;
    }
  }
  // AES checks 2 bytes: a wrong password passes about once in 65536 times.
  EXPECT_LE(passed, entry_.aes_key_bits ? 1 : 10);

  ASSERT_TRUE(cipher->Start(kPassword, Header(*cipher, entry_.data)));
  Bytes data = EncryptedData(*cipher, entry_.data);
  cipher->Decrypt(data);
  EXPECT_TRUE(cipher->Finish(Trailer(*cipher, entry_.data)));
  EXPECT_EQ(Contents(data), original_);
}

// The traditional cipher authenticates nothing: only the AES cases.
class AesWriterTest : public WriterTest {};

TEST_P(AesWriterTest, ChangedDataByteOrCodeFailsTheCode) {
  auto cipher = MakeCipher();
  const size_t first = cipher->header_size();
  const size_t last = entry_.data.size() - cipher->trailer_size() - 1;
  // The first, a middle and the last data byte; the last byte of the code.
  for (size_t position : {first, (first + last) / 2, last, entry_.data.size() - 1}) {
    SCOPED_TRACE(position);
    Bytes changed = entry_.data;
    changed[position] ^= 0x01;
    ASSERT_TRUE(cipher->Start(kPassword, Header(*cipher, changed)));
    Bytes data = EncryptedData(*cipher, changed);
    cipher->Decrypt(data);
    EXPECT_FALSE(cipher->Finish(Trailer(*cipher, changed)));
  }
}

std::string CaseName(const ::testing::TestParamInfo<WriterCase>& info) { return info.param.label; }
std::vector<WriterCase> AesCases() {
  std::vector<WriterCase> cases;
  for (const WriterCase& c : kWriterCases) {
    if (c.kind != Kind::kTraditional) cases.push_back(c);
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Writers, WriterTest, ::testing::ValuesIn(kWriterCases), CaseName);
INSTANTIATE_TEST_SUITE_P(Writers, AesWriterTest, ::testing::ValuesIn(AesCases()), CaseName);

}  // namespace
}  // namespace nocunzip::unzip32
