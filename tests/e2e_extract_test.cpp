// The unpack job with the real unzip library: the built program unpacks archives that the
// test writes, plain and encrypted with the program's password, and shows the library's
// message when an archive is damaged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/run_program.h"
#include "unzip32/test_archive.h"

namespace nocunzip::e2e {
namespace {

using unzip32::testing::BuildRawZip;
using unzip32::testing::ListTree;
using unzip32::testing::WriteZip;

constexpr char kToken[] = "KvtZRX615";
constexpr char kPassword[] = "amberLYNXQT";
const char kWindowText[] =
    "Daten werden dekomprimiert...\n  Ein Datenarchiv wird entpackt!\n  Bitte warten...\n";

class ExtractTest : public testing::Test {
 protected:
  ExtractTest() : sandbox_(NOCUNZIP_PROGRAM) {
    sandbox_.UseLibrary(NOCUNZIP_BIN_DIR "/libunzip32.so");
    results_ = sandbox_.root() / "Nocturnis";
    fs::create_directories(results_);
    sandbox_.SetDirectorySetting(results_.string() + "/");
  }

  fs::path archive() const { return sandbox_.root() / "data.zip"; }
  fs::path target() const { return sandbox_.root() / "target"; }
  RunResult Unpack(const fs::path& archive) {
    return sandbox_.Run({archive.string() + ";" + target().string() + ";" + kToken});
  }
  bool HasResult(const char* name) const { return fs::exists(results_ / name); }
  std::string Result(const char* name) const { return ReadFile(results_ / name); }

  ProgramSandbox sandbox_;
  fs::path results_;
};

TEST_F(ExtractTest, PlainAndEncryptedEntriesLandFlatInTheTarget) {
  WriteZip(archive(), {{.name = "daten/", .data = ""},
                       {.name = "daten/plain.txt", .data = "plain text\n"},
                       {.name = "daten/tief/stored.bin",
                        .data = std::string(70000, '\x01'),
                        .method = ZIP_CM_STORE},
                       {.name = "aes.txt",
                        .data = "secret (AES-256)\n",
                        .encryption = ZIP_EM_AES_256,
                        .password = kPassword},
                       {.name = "trad.txt",
                        .data = "secret (traditional)\n",
                        .encryption = ZIP_EM_TRAD_PKWARE,
                        .password = kPassword}});
  const RunResult run = Unpack(archive());
  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_EQ(run.output, kWindowText);
  EXPECT_EQ(Result("NocUnzip.end"), "success\r\n");
  EXPECT_FALSE(HasResult("NocUnzip.err"));
  // The job unpacks without directories: every file under its base name.
  EXPECT_EQ(ListTree(target()),
            (std::vector<std::string>{"aes.txt", "plain.txt", "stored.bin", "trad.txt"}));
  EXPECT_EQ(ReadFile(target() / "plain.txt"), "plain text\n");
  EXPECT_EQ(ReadFile(target() / "stored.bin"), std::string(70000, '\x01'));
  EXPECT_EQ(ReadFile(target() / "aes.txt"), "secret (AES-256)\n");
  EXPECT_EQ(ReadFile(target() / "trad.txt"), "secret (traditional)\n");
}

TEST_F(ExtractTest, TheBundledSampleUnpacks) {
  const fs::path sample = fs::path(__FILE__).parent_path().parent_path() / "samples" / "sample.zip";
  ASSERT_TRUE(fs::exists(sample)) << sample;
  const RunResult run = Unpack(sample);
  EXPECT_EQ(run.exit_status, 0) << run.output;
  EXPECT_EQ(Result("NocUnzip.end"), "success\r\n");
  EXPECT_EQ(ListTree(target()),
            (std::vector<std::string>{"beobachtung.txt", "liesmich.txt", "sterne.csv"}));
}

TEST_F(ExtractTest, ADamagedEntryShowsTheLibrarysMessageAndWritesUnzipError) {
  WriteFile(archive(), BuildRawZip({{.name = "good.txt", .data = "good"},
                                    {.name = "bad.txt", .data = "damaged", .declared_crc = 42}}));
  fs::create_directories(target());
  WriteFile(target() / "bad.txt", "the old file");
  const RunResult run = Unpack(archive());
  EXPECT_EQ(run.exit_status, 3);
  EXPECT_EQ(run.output.rfind(std::string(kWindowText) + "[Nocturnis-Unzip]\n", 0), 0u)
      << run.output;
  EXPECT_NE(run.output.find("error: bad.txt: CRC mismatch"), std::string::npos) << run.output;
  EXPECT_EQ(Result("NocUnzip.err"), "unzip-error\r\n");
  EXPECT_EQ(Result("NocUnzip.end"), "success\r\n");
  EXPECT_EQ(ReadFile(target() / "good.txt"), "good");
  EXPECT_EQ(ReadFile(target() / "bad.txt"), "the old file");
}

TEST_F(ExtractTest, ATruncatedArchiveShowsWhyAndWritesNothingIntoTheTarget) {
  WriteZip(archive(), {{.name = "a.txt", .data = std::string(5000, 'a')}});
  const std::string whole = ReadFile(archive());
  WriteFile(archive(), whole.substr(0, whole.size() / 2));
  const RunResult run = Unpack(archive());
  EXPECT_EQ(run.exit_status, 3);
  EXPECT_NE(run.output.find("[Nocturnis-Unzip]\nerror: " + archive().string() +
                            ": no end of central directory found: not a ZIP archive, or a "
                            "truncated one\n"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(Result("NocUnzip.err"), "unzip-error\r\n");
  EXPECT_EQ(Result("NocUnzip.end"), "success\r\n");
  EXPECT_EQ(ListTree(target()), std::vector<std::string>{});
}

}  // namespace
}  // namespace nocunzip::e2e
