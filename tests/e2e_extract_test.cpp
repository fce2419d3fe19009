// The unpack job with the real unzip library: the built program unpacks archives that the
// test writes, plain and encrypted with the program's password, and shows the library's
// message when an archive is damaged.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/run_program.h"
#include "unzip32/testing/test_archive.h"

namespace nocunzip::e2e {
namespace {

using unzip32::testing::BuildRawZip;
using unzip32::testing::ListTree;
using unzip32::testing::RawEntry;
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

// A raw deflate stream of `mib` MiB of zeros, one flushed block repeated: gigabytes to
// inflate from megabytes, made in no time. `crc` receives the zeros' CRC.
std::string DeflatedZeros(uint32_t mib, uint32_t* crc) {
  const std::string zeros(1 << 20, '\0');
  z_stream stream{};
  deflateInit2(&stream, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string block(deflateBound(&stream, zeros.size()) + 64, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
  stream.avail_in = static_cast<uInt>(zeros.size());
  stream.next_out = reinterpret_cast<Bytef*>(block.data());
  stream.avail_out = static_cast<uInt>(block.size());
  deflate(&stream, Z_FULL_FLUSH);  // no reference to what came before: repeatable
  block.resize(stream.total_out);
  char end[16];
  stream.next_out = reinterpret_cast<Bytef*>(end);
  stream.avail_out = sizeof end;
  deflate(&stream, Z_FINISH);
  const std::string last(end, sizeof end - stream.avail_out);
  deflateEnd(&stream);

  std::string deflated;
  deflated.reserve(block.size() * mib + last.size());
  const uLong block_crc =
      crc32(0, reinterpret_cast<const Bytef*>(zeros.data()), static_cast<uInt>(zeros.size()));
  uLong whole = crc32(0, nullptr, 0);
  for (uint32_t i = 0; i < mib; ++i) {
    deflated += block;
    whole = crc32_combine(whole, block_crc, static_cast<z_off_t>(zeros.size()));
  }
  *crc = static_cast<uint32_t>(whole);
  return deflated + last;
}

// The most that process `pid` has written into one of its open files in `directory`,
// named or unnamed (an unnamed one shows as "DIRECTORY/#INODE (deleted)"); -1 for none.
int64_t WrittenInto(pid_t pid, const fs::path& directory) {
  const std::string prefix = directory.string() + "/";
  int64_t most = -1;
  std::error_code error;
  fs::directory_iterator fd("/proc/" + std::to_string(pid) + "/fd", error);
  for (; !error && fd != fs::directory_iterator(); fd.increment(error)) {
    std::error_code unreadable;
    const std::string file = fs::read_symlink(fd->path(), unreadable).string();
    struct stat st {};
    if (!unreadable && file.rfind(prefix, 0) == 0 && stat(fd->path().c_str(), &st) == 0) {
      most = std::max<int64_t>(most, st.st_size);
    }
  }
  return most;
}

// Every file below `root` with its modification time and contents (their size and CRC when
// they are long).
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const std::string& name : ListTree(root)) {
    const auto time = fs::last_write_time(root / name).time_since_epoch().count();
    const std::string contents = ReadFile(root / name);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(contents.data()),
                            static_cast<uInt>(contents.size()));
    files[name] = std::to_string(time) + ": " +
                  (contents.size() <= 64
                       ? contents
                       : std::to_string(contents.size()) + " bytes, CRC " + std::to_string(crc));
  }
  return files;
}

// The user ends the program from the task manager, or the machine shuts down, while a
// large entry is being written over an existing file, and four workers decode the entries
// after it ahead into files of their own, a second large one among them. The existing files
// stay as they were; of the entries, only complete files under free names may be there
// (workers name those themselves), never a part of one.
TEST_F(ExtractTest, AProgramKilledMidEntryLeavesExistingFilesAndNoPartOfAnEntry) {
  constexpr uint32_t kMiB = 3800;       // seconds of writing; the archive is a few MB
  constexpr int64_t kKillAt = 8 << 20;  // bytes written before the kill
  uint32_t crc = 0;
  const std::string zeros = DeflatedZeros(kMiB, &crc);
  std::vector<RawEntry> entries = {{.name = "gross.bin",
                                    .data = zeros,
                                    .deflated_already = true,
                                    .declared_size = kMiB << 20,
                                    .declared_crc = crc}};
  for (int i = 0; i < 20; ++i) {
    entries.push_back({.name = "klein" + std::to_string(i) + ".txt", .data = "small file"});
  }
  uint32_t second_crc = 0;
  entries.push_back({.name = "zweite.bin",
                     .data = DeflatedZeros(100, &second_crc),
                     .deflated_already = true,
                     .declared_size = 100u << 20,
                     .declared_crc = second_crc});
  WriteFile(archive(), BuildRawZip(entries));
  fs::create_directories(target());
  WriteFile(target() / "gross.bin", "the old file");
  WriteFile(target() / "andere.txt", "another file");
  const fs::path directory = fs::canonical(target());
  const auto before = Snapshot(directory);

  const pid_t pid = sandbox_.Start({archive().string() + ";" + target().string() + ";" + kToken},
                                   {"UNZIP32_WORKERS=4"});
  ASSERT_GT(pid, 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  int status = 0;
  bool ended = false;
  int64_t written = -1;
  while (!(ended = waitpid(pid, &status, WNOHANG) == pid) &&
         (written = WrittenInto(pid, directory)) < kKillAt &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  ASSERT_FALSE(ended) << "the program ended before it was killed";
  EXPECT_GE(written, kKillAt) << "the program wrote too little before the deadline";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  auto after = Snapshot(directory);
  for (auto file = after.begin(); file != after.end();) {
    const bool small = file->first.starts_with("klein") && file->second.ends_with(": small file");
    file = !before.contains(file->first) && small ? after.erase(file) : std::next(file);
  }
  EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace nocunzip::e2e
