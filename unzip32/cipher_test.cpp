// The platform's cryptography beneath WinZip AES: known answers for the primitives.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "aes_primitives.h"

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

}  // namespace
}  // namespace nocunzip::unzip32
