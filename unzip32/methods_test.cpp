// Compression methods, zip64 archives and encryption.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "testing/test_archive.h"

namespace nocunzip::unzip32::testing {
namespace {
namespace fs = std::filesystem;
using Files = std::vector<std::string>;

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() % 64 + 32);  // compresses somewhat
  return bytes;
}

class MethodsTest : public ::testing::Test {
 protected:
  fs::path archive() const { return scratch_ / "test.zip"; }
  fs::path target() const { return scratch_ / "out"; }
  ScratchDir scratch_;
  LibraryCaller caller_;
};

TEST_F(MethodsTest, StoredDeflatedAndBzip2EntriesSmallAndStreamed) {
  const std::string small = RandomBytes(100000, 1);
  const std::string large = RandomBytes(12 << 20, 2);  // above the one-buffer limit
  WriteZip(archive(), {{.name = "stored-small", .data = small, .method = ZIP_CM_STORE},
                       {.name = "deflate-small", .data = small, .method = ZIP_CM_DEFLATE},
                       {.name = "bzip2-small", .data = small, .method = ZIP_CM_BZIP2},
                       {.name = "empty", .data = "", .method = ZIP_CM_DEFLATE},
                       {.name = "stored-large", .data = large, .method = ZIP_CM_STORE},
                       {.name = "deflate-large", .data = large, .method = ZIP_CM_DEFLATE},
                       {.name = "bzip2-large", .data = large, .method = ZIP_CM_BZIP2}});
  const RunResult run = caller_.Run(archive(), target());
  ASSERT_EQ(run.result, UZ_OK) << run.printed;
  for (const char* name : {"stored-small", "deflate-small", "bzip2-small"}) {
    EXPECT_EQ(ReadFileBytes(target() / name), small) << name;
  }
  for (const char* name : {"stored-large", "deflate-large", "bzip2-large"}) {
    EXPECT_EQ(ReadFileBytes(target() / name), large) << name;
  }
  EXPECT_EQ(ReadFileBytes(target() / "empty"), "");
}

TEST_F(MethodsTest, Zip64ArchiveWithMoreThan65535Entries) {
  constexpr int kEntries = 70000;
  std::vector<TestEntry> entries;
  entries.reserve(kEntries);
  for (int i = 0; i < kEntries; ++i) {
    std::string name = "f";
    name += std::to_string(i);
    entries.push_back({.name = std::move(name), .data = std::to_string(i), .method = ZIP_CM_STORE});
  }
  WriteZip(archive(), entries);
  caller_.options.TestZip = 1;
  caller_.options.MessageLevel = 1;
  RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(run.record.NumberOfMembers, static_cast<uint32_t>(kEntries));
  EXPECT_NE(run.printed.find("no errors in 70000 tested entries"), std::string::npos)
      << run.printed;

  caller_.options.TestZip = 0;
  caller_.include = {"f6999?"};
  run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ListTree(target()).size(), 10u);
  EXPECT_EQ(ReadFileBytes(target() / "f69999"), "69999");
}

// Writes and tests an entry of more than 4 GiB; slow (a few GiB of disk and about a
// minute), so run it by name: --gtest_also_run_disabled_tests.
TEST_F(MethodsTest, DISABLED_Zip64EntryLargerThanFourGiB) {
  const std::string chunk(1 << 20, '\0');
  const uint64_t size = (4ull << 30) + (1 << 20);
  int error = 0;
  zip_t* writer = zip_open(archive().string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(writer, nullptr);
  struct Zeros {
    uint64_t size, position;
  } zeros{size, 0};
  auto callback = [](void* user, void* data, zip_uint64_t length,
                     zip_source_cmd_t command) -> zip_int64_t {
    auto* z = static_cast<Zeros*>(user);
    switch (command) {
      case ZIP_SOURCE_OPEN:
        z->position = 0;
        return 0;
      case ZIP_SOURCE_READ: {
        const uint64_t n = std::min<uint64_t>(length, z->size - z->position);
        std::memset(data, 0, n);
        z->position += n;
        return static_cast<zip_int64_t>(n);
      }
      case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->size = z->size;
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
      }
      case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              -1);
      case ZIP_SOURCE_ERROR:
        return 2 * sizeof(int);
      default:
        return 0;
    }
  };
  zip_source_t* source = zip_source_function(writer, callback, &zeros);
  const zip_int64_t index = zip_file_add(writer, "zeros.bin", source, 0);
  ASSERT_GE(index, 0);
  ASSERT_EQ(zip_set_file_compression(writer, index, ZIP_CM_DEFLATE, 1), 0);
  ASSERT_EQ(zip_close(writer), 0);
  caller_.options.TestZip = 1;
  const RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(run.record.TotalUncompressedSize, 0xFFFFFFFFu);  // clamped
}

TEST_F(MethodsTest, TraditionalAndAesEntriesTakeThePasswordOnce) {
  const std::string secret = RandomBytes(50000, 3);
  const std::string large = RandomBytes(10 << 20, 4);
  WriteZip(
      archive(),
      {{.name = "trad.txt",
        .data = secret,
        .encryption = ZIP_EM_TRAD_PKWARE,
        .password = "amberLYNXQT"},
       {.name = "aes.txt", .data = secret, .encryption = ZIP_EM_AES_256, .password = "amberLYNXQT"},
       {.name = "aes-large.bin",
        .data = large,
        .method = ZIP_CM_STORE,
        .encryption = ZIP_EM_AES_256,
        .password = "amberLYNXQT"},
       {.name = "aes-large-deflated.bin",
        .data = large,
        .encryption = ZIP_EM_AES_256,
        .password = "amberLYNXQT"},
       {.name = "plain.txt", .data = "plain"}});
  const RunResult run = caller_.Run(archive(), target());
  ASSERT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ReadFileBytes(target() / "trad.txt"), secret);
  EXPECT_EQ(ReadFileBytes(target() / "aes.txt"), secret);
  EXPECT_EQ(ReadFileBytes(target() / "aes-large.bin"), large);
  EXPECT_EQ(ReadFileBytes(target() / "aes-large-deflated.bin"), large);
  EXPECT_EQ(ReadFileBytes(target() / "plain.txt"), "plain");
  // The password that worked is kept for the next entries.
  EXPECT_EQ(run.password_asks, 1);
}

// AE-2 entries carry no CRC (the field is zero) and rely on the authentication code. Such
// entries come from other tools; libzip writes the CRC, so it is zeroed here by hand.
TEST_F(MethodsTest, AesEntriesWithoutCrcAreAuthenticatedInstead) {
  for (size_t size : {size_t{5000}, size_t{12} << 20}) {
    SCOPED_TRACE(size);
    const std::string data = RandomBytes(size, 5);
    WriteZip(
        archive(),
        {{.name = "a.txt", .data = data, .encryption = ZIP_EM_AES_256, .password = "amberLYNXQT"}});
    std::string bytes = ReadFileBytes(archive());
    const size_t central = bytes.rfind("PK\x01\x02");
    ASSERT_NE(central, std::string::npos);
    bytes.replace(14, 4, 4, '\0');
    bytes.replace(central + 16, 4, 4, '\0');
    WriteFileBytes(archive(), bytes);
    RunResult run = caller_.Run(archive(), target());
    EXPECT_EQ(run.result, UZ_OK) << run.printed;
    EXPECT_EQ(ReadFileBytes(target() / "a.txt"), data);

    // One changed byte in the encrypted data fails the authentication.
    fs::remove_all(target());
    bytes[bytes.size() / 3] ^= 0x20;
    WriteFileBytes(archive(), bytes);
    run = caller_.Run(archive(), target());
    EXPECT_EQ(run.result, UZ_ERR_ENTRY) << run.printed;
    EXPECT_EQ(ListTree(target()), Files{});
    fs::remove_all(target());
  }
}

TEST_F(MethodsTest, AWrongPasswordIsAskedThreeTimesPerEntryThenFails) {
  for (uint16_t method : {ZIP_EM_TRAD_PKWARE, ZIP_EM_AES_256}) {
    SCOPED_TRACE(method);
    caller_.password = "wrong";
    RunResult run;
    // The traditional cipher checks a password against one byte of its random header: one
    // wrong password in 256 passes that check (and then fails the CRC); AES against two
    // bytes, one in 65,536 (and then fails the authentication code). A new archive, with
    // new headers, is made until that did not happen.
    for (int attempt = 0; attempt < 5; ++attempt) {
      fs::remove_all(target());
      WriteZip(
          archive(),
          {{.name = "one.txt", .data = "1111", .encryption = method, .password = "amberLYNXQT"},
           {.name = "two.txt", .data = "2222", .encryption = method, .password = "amberLYNXQT"},
           {.name = "plain.txt", .data = "plain"}});
      run = caller_.Run(archive(), target());
      if (run.printed.find("CRC") == std::string::npos &&
          run.printed.find("authentication code") == std::string::npos) {
        break;
      }
    }
    EXPECT_EQ(run.result, UZ_ERR_PASSWORD);
    EXPECT_EQ(run.password_asks, 6);
    EXPECT_EQ(ListTree(target()), Files{"plain.txt"});
    EXPECT_NE(run.printed.find("error: one.txt: wrong password (asked 3 times)"), std::string::npos)
        << run.printed;
    fs::remove_all(target());
  }
}

TEST_F(MethodsTest, NoPasswordGivenFailsTheEntryAtOnce) {
  WriteZip(archive(), {{.name = "one.txt",
                        .data = "1111",
                        .encryption = ZIP_EM_AES_256,
                        .password = "amberLYNXQT"}});
  caller_.refuse_password = true;
  const RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_ERR_PASSWORD);
  EXPECT_EQ(run.password_asks, 1);
  EXPECT_NE(run.printed.find("error: one.txt: no password was given"), std::string::npos);
}

TEST_F(MethodsTest, EntriesWithDifferentPasswordsAskAgain) {
  WriteZip(
      archive(),
      {{.name = "one.txt", .data = "1", .encryption = ZIP_EM_AES_256, .password = "amberLYNXQT"},
       {.name = "two.txt", .data = "2", .encryption = ZIP_EM_AES_256, .password = "other"}});
  const RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_ERR_PASSWORD);
  EXPECT_EQ(run.password_asks, 1 + 3);
  EXPECT_EQ(ListTree(target()), Files{"one.txt"});
}

TEST_F(MethodsTest, AnUnsupportedMethodGivesResult81) {
  std::string bytes =
      BuildRawZip({{.name = "odd.bin", .data = "xxxx"}, {.name = "ok.txt", .data = "ok"}});
  // Method field of the local and central header of the first entry: 98 (PPMd).
  bytes[8] = 98;
  const size_t central = bytes.find("PK\x01\x02");
  ASSERT_NE(central, std::string::npos);
  bytes[central + 10] = 98;
  WriteFileBytes(archive(), bytes);
  const RunResult run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_ERR_UNSUPPORTED) << run.printed;
  EXPECT_NE(run.printed.find("error: odd.bin: compression method PPMd is not supported"),
            std::string::npos)
      << run.printed;
  EXPECT_EQ(ListTree(target()), Files{"ok.txt"});
}

}  // namespace
}  // namespace nocunzip::unzip32::testing
