// Sizes and offsets past 32 bits, through the library's public entry: zip64 entries over
// 4 GiB and archives whose later entries begin past 4 GiB (sparse files: the headers are
// written where they belong and the zeros between them are holes), and declared sizes near
// 2^32 and 2^64 that must be refused rather than cut to 32 bits or wrapped. 32-bit code
// (size_t, long) is what gets these wrong; the same tests run in every build.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "testing/test_archive.h"

namespace nocunzip::unzip32::testing {
namespace {
namespace fs = std::filesystem;
using Files = std::vector<std::string>;

constexpr uint64_t kFourGiB = uint64_t{1} << 32;
constexpr uint32_t kMask32 = 0xFFFFFFFF;

void Put(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(i < 8 ? value >> (8 * i) : 0));
}

// CRC-32 of `count` zero bytes, joined from pieces of at most 1 GiB (the combine step
// takes the length of its second piece as a long).
uint32_t CrcOfZeros(uint64_t count) {
  const std::string block(4096, '\0');
  const auto crc_of_block =
      crc32(0, reinterpret_cast<const Bytef*>(block.data()), static_cast<uInt>(block.size()));
  uLong piece = crc_of_block;  // grows by doubling to 1 GiB
  uint64_t piece_size = block.size();
  while (piece_size < (uint64_t{1} << 30)) {
    piece = crc32_combine(piece, piece, static_cast<z_off_t>(piece_size));
    piece_size *= 2;
  }
  uLong crc = 0;
  for (; count >= piece_size; count -= piece_size)
    crc = crc32_combine(crc, piece, static_cast<z_off_t>(piece_size));
  for (; count >= block.size(); count -= block.size())
    crc = crc32_combine(crc, crc_of_block, static_cast<z_off_t>(block.size()));
  return static_cast<uint32_t>(
      crc32(crc, reinterpret_cast<const Bytef*>(block.data()), static_cast<uInt>(count)));
}

// An entry of a sparse archive: its local header at `offset`, then `bytes`, then zeros up
// to `compressed` bytes of data, as holes.
struct SparseEntry {
  std::string name;
  uint64_t offset = 0;
  uint64_t size = 0;        // uncompressed size, as declared
  uint64_t compressed = 0;  // compressed size, as declared
  uint32_t crc = 0;
  std::string bytes;
  uint16_t method = 0;
};

// The zip64 extra field: the 64-bit values whose 32-bit fields hold 0xFFFFFFFF.
std::string Zip64Extra(const std::vector<uint64_t>& values) {
  std::string extra;
  if (values.empty()) return extra;
  Put(extra, 0x0001, 2);
  Put(extra, 8 * values.size(), 2);
  for (uint64_t value : values) Put(extra, value, 8);
  return extra;
}

uint32_t Field32(uint64_t value) { return value >= kMask32 ? kMask32 : uint32_t(value); }

// Writes the archive sparsely: headers at their offsets, the central directory and the
// zip64 end records after the last entry's data.
void WriteSparseZip(const fs::path& path, const std::vector<SparseEntry>& entries) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  uint64_t end = 0;
  std::string central;
  for (const SparseEntry& e : entries) {
    const bool local64 = e.size >= kMask32 || e.compressed >= kMask32;
    const std::string local_extra = local64 ? Zip64Extra({e.size, e.compressed}) : "";
    std::string local;
    Put(local, 0x04034b50, 4);
    Put(local, 45, 2);
    Put(local, 0, 2);
    Put(local, e.method, 2);
    Put(local, 0, 2);
    Put(local, (44 << 9) | (1 << 5) | 1, 2);  // 2024-01-01
    Put(local, e.crc, 4);
    Put(local, local64 ? kMask32 : e.compressed, 4);
    Put(local, local64 ? kMask32 : e.size, 4);
    Put(local, e.name.size(), 2);
    Put(local, local_extra.size(), 2);
    local += e.name + local_extra + e.bytes;
    out.seekp(static_cast<std::streamoff>(e.offset));
    out.write(local.data(), static_cast<std::streamsize>(local.size()));
    end = std::max(end, e.offset + local.size() - e.bytes.size() + e.compressed);

    std::vector<uint64_t> wide;
    for (uint64_t value : {e.size, e.compressed, e.offset})
      if (value >= kMask32) wide.push_back(value);
    const std::string extra = Zip64Extra(wide);
    Put(central, 0x02014b50, 4);
    Put(central, 45, 2);
    Put(central, 45, 2);
    Put(central, 0, 2);
    Put(central, e.method, 2);
    Put(central, 0, 2);
    Put(central, (44 << 9) | (1 << 5) | 1, 2);
    Put(central, e.crc, 4);
    Put(central, Field32(e.compressed), 4);
    Put(central, Field32(e.size), 4);
    Put(central, e.name.size(), 2);
    Put(central, extra.size(), 2);
    Put(central, 0, 2 + 2 + 2 + 4);  // comment length, disk, internal and external attributes
    Put(central, Field32(e.offset), 4);
    central += e.name + extra;
  }
  std::string tail = central;
  const uint64_t zip64_end = end + central.size();
  Put(tail, 0x06064b50, 4);
  Put(tail, 44, 8);
  Put(tail, 45, 2);
  Put(tail, 45, 2);
  Put(tail, 0, 4 + 4);
  Put(tail, entries.size(), 8);
  Put(tail, entries.size(), 8);
  Put(tail, central.size(), 8);
  Put(tail, end, 8);
  Put(tail, 0x07064b50, 4);
  Put(tail, 0, 4);
  Put(tail, zip64_end, 8);
  Put(tail, 1, 4);
  Put(tail, 0x06054b50, 4);
  Put(tail, 0, 2 + 2);
  Put(tail, entries.size(), 2);
  Put(tail, entries.size(), 2);
  Put(tail, central.size(), 4);
  Put(tail, Field32(end), 4);
  Put(tail, 0, 2);
  out.seekp(static_cast<std::streamoff>(end));
  out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
  ASSERT_TRUE(out.good()) << path;
}

class LargeArchiveTest : public ::testing::Test {
 protected:
  fs::path archive() const { return scratch_ / "large.zip"; }
  fs::path target() const { return scratch_ / "out"; }
  void SetUp() override { fs::create_directories(target()); }
  RunResult Run(const std::vector<SparseEntry>& entries) {
    WriteSparseZip(archive(), entries);
    return caller_.Run(archive(), target());
  }
  ScratchDir scratch_;
  LibraryCaller caller_;
};

// A stored entry of 4 GiB + 4 KiB of zeros, and a small one whose header lies past 4 GiB.
std::vector<SparseEntry> BigThenSmall() {
  const uint64_t big = kFourGiB + 4096;
  const std::string tail = "the tail\n";
  SparseEntry first{.name = "big.bin", .size = big, .compressed = big, .crc = CrcOfZeros(big)};
  SparseEntry second{.name = "tail.txt",
                     .offset = 30 + first.name.size() + 20 + big,
                     .size = tail.size(),
                     .compressed = tail.size(),
                     .crc = static_cast<uint32_t>(
                         crc32(0, reinterpret_cast<const Bytef*>(tail.data()), tail.size())),
                     .bytes = tail};
  return {first, second};
}

TEST_F(LargeArchiveTest, AnEntryPastFourGiBIsFoundAndAnEntryOverFourGiBTests) {
  // Only the small entry, from its header past 4 GiB.
  caller_.include = {"tail.txt"};
  RunResult run = Run(BigThenSmall());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(ListTree(target()), Files{"tail.txt"});
  EXPECT_EQ(ReadFileBytes(target() / "tail.txt"), "the tail\n");

  // Both tested: every byte of the big one read and its CRC checked, nothing written.
  fs::remove_all(target());
  fs::create_directories(target());
  caller_.include.clear();
  caller_.options.TestZip = 1;
  run = caller_.Run(archive(), target());
  EXPECT_EQ(run.result, UZ_OK) << run.printed;
  EXPECT_EQ(run.described, (Files{"big.bin", "tail.txt"}));
  EXPECT_EQ(ListTree(target()), Files{});
}

TEST_F(LargeArchiveTest, DeclaredSizesThatDoNotFitAreRefusedNotCut) {
  const std::string text = "abcd";
  const auto crc =
      static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(text.data()), text.size()));
  const std::string deflated = DeflateRaw(text);
  struct Case {
    const char* what;
    SparseEntry entry;
  };
  const Case cases[] = {
      // Cut to 32 bits, each of these sizes is the entry's true size.
      {"deflated, 2^32 + its size",
       {.size = kFourGiB + 4,
        .compressed = deflated.size(),
        .crc = crc,
        .bytes = deflated,
        .method = 8}},
      {"stored, 2^32 + its size",
       {.size = kFourGiB + 4, .compressed = kFourGiB + 4, .crc = crc, .bytes = text}},
      {"deflated, 2^64 - 2^32 + its size",
       {.size = (~uint64_t{0} << 32) + 4,
        .compressed = deflated.size(),
        .crc = crc,
        .bytes = deflated,
        .method = 8}},
      // Near 2^32 and 2^64: no buffer of the declared size, no sum that wraps.
      {"deflated, 2^32 - 2",
       {.size = kMask32 - 1,
        .compressed = deflated.size(),
        .crc = crc,
        .bytes = deflated,
        .method = 8}},
      {"stored, 2^64 - 1",
       {.size = ~uint64_t{0}, .compressed = ~uint64_t{0}, .crc = crc, .bytes = text}},
      {"compressed size whose end wraps past 2^64",
       {.size = 4, .compressed = ~uint64_t{0} - 40, .crc = crc, .bytes = deflated, .method = 8}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SparseEntry entry = c.entry;
    entry.name = "a.txt";
    const RunResult run = Run({entry});
    EXPECT_TRUE(run.result == UZ_ERR_ENTRY || run.result == UZ_ERR_ARCHIVE) << run.result << "\n"
                                                                            << run.printed;
    EXPECT_EQ(ListTree(target()), Files{});
    EXPECT_NE(run.printed.find("a.txt"), std::string::npos) << run.printed;
  }
}

TEST_F(LargeArchiveTest, EntriesThatOverlapOnlyPastFourGiBAreRefused) {
  struct Case {
    const char* what;
    uint64_t first_offset;
    uint64_t first_size;
    uint64_t second_offset;
  };
  const Case cases[] = {
      // With its size cut to 32 bits, the first entry ends at 159, long before the second.
      {"the first over 4 GiB", 0, kFourGiB + 100, kFourGiB + 50},
      // The first entry's end wraps to a small number in 32 bits.
      {"the first across 4 GiB", kFourGiB - 200, 4096, kFourGiB + 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SparseEntry first{.name = "first.bin",
                            .offset = c.first_offset,
                            .size = c.first_size,
                            .compressed = c.first_size,
                            .crc = CrcOfZeros(c.first_size)};
    const SparseEntry second{.name = "second.txt",
                             .offset = c.second_offset,
                             .size = 4,
                             .compressed = 4,
                             .bytes = "bbbb"};
    const RunResult run = Run({first, second});
    EXPECT_EQ(run.result, UZ_ERR_ARCHIVE) << run.printed;
    EXPECT_EQ(ListTree(target()), Files{});
    EXPECT_NE(run.printed.find("overlap"), std::string::npos) << run.printed;
  }
}

}  // namespace
}  // namespace nocunzip::unzip32::testing
