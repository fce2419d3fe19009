// The Linux output where the system says no: a file system without unnamed files, and a
// full disk. The system's answers are made by a seccomp filter in a child process, which
// turns chosen calls into errors.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>

#include "disk/output.h"
#include "read/archive_file.h"
#include "testing/test_archive.h"

namespace nocunzip::unzip32::testing {
namespace {
namespace fs = std::filesystem;
using Files = std::vector<std::string>;

// A system call that fails with `error` when its argument number `argument` has one of
// the bits `any_bit` set, or is above `above`.
struct Refusal {
  int call;
  int argument;
  uint32_t any_bit;
  uint32_t above;
  int error;
};

// O_TMPFILE refused, as by a file system without unnamed files.
const Refusal kNoUnnamedFiles{SYS_openat, 2, O_TMPFILE & ~O_DIRECTORY, 0, EOPNOTSUPP};
// Writing fails as on a full disk: writes of more than 32 KiB at once (the sanitizers'
// own small writes, which expect other errors, pass).
const Refusal kFullDiskWrite{SYS_write, 2, 0, 32 << 10, ENOSPC};
// What the tests write: more than a full disk lets through.
const std::string kNewContents(64 << 10, 'n');

// Installs a filter with `refusals`; everything else is allowed.
bool Confine(const std::vector<Refusal>& refusals) {
  static_assert(std::endian::native == std::endian::little, "arguments are read by their low half");
  std::vector<sock_filter> program;
  for (const Refusal& r : refusals) {
    const uint32_t at = offsetof(seccomp_data, args) + 8 * static_cast<uint32_t>(r.argument);
    program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
    program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(r.call), 0, 3));
    program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, at));
    if (r.any_bit != 0) {
      program.push_back(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, r.any_bit, 0, 1));
    } else {
      program.push_back(BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, r.above, 0, 1));
    }
    program.push_back(
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (static_cast<uint32_t>(r.error) & 0xFFFF)));
  }
  program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
  sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

// Runs `body` in a child process under `refusals` and returns the text it gave back.
std::string RunRefused(const std::vector<Refusal>& refusals,
                       const std::function<std::string()>& body) {
  constexpr size_t kSize = 4096;
  void* shared = mmap(nullptr, kSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED) return "no shared memory";
  const pid_t child = fork();
  if (child == 0) {
    const std::string text = Confine(refusals) ? body() : "no seccomp filter";
    memcpy(shared, text.data(), std::min(text.size(), kSize - 1));
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  std::string text = WIFEXITED(status) ? static_cast<const char*>(shared) : "the child crashed";
  munmap(shared, kSize);
  return text;
}

const char* StatusName(const IoResult& result) {
  switch (result.status) {
    case IoResult::kOk:
      return "ok";
    case IoResult::kDiskFull:
      return "disk full";
    case IoResult::kLinkInTheWay:
      return "link";
    case IoResult::kRefused:
      return "refused";
    case IoResult::kExists:
      return "exists";
    case IoResult::kNoDescriptors:
      return "no descriptors";
    case IoResult::kFailed:
      break;
  }
  return "failed";
}

bool HasUnnamedFiles(const fs::path& directory) {
  const int fd = open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// What a file that is being written looks like in its directory: "a.txt" for the old file
// alone, "hidden a.txt" when a temporary name shows beside it.
std::string Listing(const fs::path& root) {
  std::string listing;
  for (const std::string& name : ListTree(root)) {
    if (!listing.empty()) listing += ' ';
    listing += name.rfind(".unzip32-", 0) == 0 ? "hidden" : name;
  }
  return listing;
}

// Replaces a.txt, makes b.txt, drops c.txt; says how each went and what the directory
// showed while a.txt was being written.
std::string WriteThreeFiles(const fs::path& root) {
  IoResult result;
  std::unique_ptr<TargetDirectory> target = TargetDirectory::Open(root.string(), &result);
  if (!result.ok()) return "open: " + result.message;
  std::string report;
  const std::string& text = kNewContents;
  std::unique_ptr<OutputFile> a = target->CreateFile({"a.txt"}, &result);
  if (!result.ok()) return "create: " + result.message;
  result = a->Write(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  report += std::string("write ") + StatusName(result) + ", while: " + Listing(root);
  if (result.ok()) report += std::string(", commit ") + StatusName(a->Commit({}, true));

  std::unique_ptr<OutputFile> b = target->CreateFile({"b.txt"}, &result);
  if (!result.ok()) return "create: " + result.message;
  result = b->Write(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  report += std::string("; write ") + StatusName(result);
  if (result.ok()) report += std::string(", commit ") + StatusName(b->Commit({}, false));

  std::unique_ptr<OutputFile> c = target->CreateFile({"c.txt"}, &result);
  if (!result.ok()) return "create: " + result.message;
  c->Write(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  return report;  // c.txt is dropped with `c`
}

TEST(LinuxOutputTest, UnnamedOrNamedAndWithAFullDiskNothingIsLeftBehind) {
  struct Case {
    const char* what;
    std::vector<Refusal> refusals;
    bool unnamed;  // the case needs unnamed files
    const char* report;
    Files after;
  };
  const Case cases[] = {
      {"unnamed files",
       {},
       true,
       "write ok, while: a.txt, commit ok; write ok, commit ok",
       {"a.txt", "b.txt"}},
      {"no unnamed files: a hidden name instead",
       {kNoUnnamedFiles},
       false,
       "write ok, while: hidden a.txt, commit ok; write ok, commit ok",
       {"a.txt", "b.txt"}},
      {"full disk, unnamed files",
       {kFullDiskWrite},
       true,
       "write disk full, while: a.txt; write disk full",
       {"a.txt"}},
      {"full disk, no unnamed files",
       {kNoUnnamedFiles, kFullDiskWrite},
       false,
       "write disk full, while: hidden a.txt; write disk full",
       {"a.txt"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir scratch;
    const fs::path root = scratch / "out";
    fs::create_directories(root);
    if (c.unnamed && !HasUnnamedFiles(root)) {
      std::cout << "skipped: no unnamed files in " << root << "\n";
      continue;
    }
    WriteFileBytes(root / "a.txt", "old");
    const std::string report = RunRefused(c.refusals, [&] { return WriteThreeFiles(root); });
    EXPECT_EQ(report, c.report);
    EXPECT_EQ(ListTree(root), c.after);
    const bool written = c.after.size() == 2;
    EXPECT_TRUE(ReadFileBytes(root / "a.txt") == (written ? kNewContents : "old"));
    if (written) {
      EXPECT_EQ(ReadFileBytes(root / "b.txt"), kNewContents);
    }
  }
}

}  // namespace
}  // namespace nocunzip::unzip32::testing
