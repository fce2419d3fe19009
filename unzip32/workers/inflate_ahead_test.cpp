#include "workers/inflate_ahead.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "testing/test_archive.h"

namespace nocunzip::unzip32 {
namespace {
using testing::BuildRawZip;
using testing::RawEntry;
using testing::ScratchDir;
using testing::WriteFileBytes;

std::string Text(size_t size, uint32_t seed) {
  std::mt19937 random(seed);
  std::string text;
  while (text.size() < size) {
    text.append("word").append(std::to_string(random() % 5000)).push_back(' ');
  }
  text.resize(size);
  return text;
}

std::string Name(uint32_t i) {
  char name[16];
  std::snprintf(name, sizeof name, "f%u", static_cast<unsigned>(i));
  return name;
}

class InflateAheadTest : public ::testing::Test {
 protected:
  // Writes `entries`, checks the archive's layout and starts the worker on the entries that
  // `wanted` marks (all when it is empty).
  std::unique_ptr<InflateAhead> Start(const std::vector<RawEntry>& entries,
                                      std::vector<bool> wanted = {}) {
    const std::string path = (scratch_ / "a.zip").string();
    WriteFileBytes(path, BuildRawZip(entries));
    std::string error;
    std::unique_ptr<ArchiveFile> own = ArchiveFile::Open(path, &error);
    EXPECT_NE(own, nullptr) << error;
    if (own == nullptr) return nullptr;
    end_ = FindArchiveEnd(*own);
    EXPECT_EQ(end_.problem, EndProblem::kNone) << end_.message;
    wanted_ = wanted.empty() ? std::vector<bool>(entries.size(), true) : std::move(wanted);
    uint64_t largest = 0;
    for (const RawEntry& entry : entries) largest = std::max<uint64_t>(largest, entry.data.size());
    return InflateAhead::Start(end_, wanted_, largest, std::move(own));
  }

  ScratchDir scratch_;
  ArchiveEnd end_;
  std::vector<bool> wanted_;
};

TEST_F(InflateAheadTest, HandsOutEntriesInOrderThroughARingSmallerThanTheirTotal) {
  // About three times the ring, so the worker waits for space and wraps around.
  std::vector<RawEntry> entries;
  std::vector<std::string> contents;
  size_t total = 0;
  for (uint32_t i = 0; total < 3 * kInflateAheadBytes; ++i) {
    contents.push_back(Text(20000 + (i * 7919) % 300000, i));
    total += contents.back().size();
    entries.push_back({.name = Name(i), .data = contents.back(), .deflate = true});
  }
  std::unique_ptr<InflateAhead> ahead = Start(entries);
  ASSERT_NE(ahead, nullptr);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (i % 5 == 3) continue;  // never asked for: dropped unseen
    const unsigned char* data = nullptr;
    size_t size = 0;
    ASSERT_TRUE(ahead->Take(i, &data, &size)) << i;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), contents[i]) << i;
    ahead->Release();
  }
}

TEST_F(InflateAheadTest, LeavesOtherAndDamagedEntriesToTheCallingThread) {
  const std::string small = Text(5000, 1);
  const std::string big = Text(kWholeBufferLimit + 1, 2);
  std::unique_ptr<InflateAhead> ahead =
      Start({{.name = "stored", .data = small},
             {.name = "bad crc", .data = small, .deflate = true, .declared_crc = 1},
             {.name = "too big", .data = big, .deflate = true},
             {.name = "not wanted", .data = small, .deflate = true},
             {.name = "cut short",
              .data = small,
              .deflate = true,
              .declared_compressed = static_cast<uint32_t>(testing::DeflateRaw(small).size() - 3)},
             {.name = "good", .data = small, .deflate = true}},
            {true, true, true, false, true, true});
  ASSERT_NE(ahead, nullptr);
  const unsigned char* data = nullptr;
  size_t size = 0;
  for (uint64_t i = 0; i < 5; ++i) EXPECT_FALSE(ahead->Take(i, &data, &size)) << i;
  ASSERT_TRUE(ahead->Take(5, &data, &size));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), small);
  ahead->Release();
}

TEST_F(InflateAheadTest, StopsWhileTheRingIsFull) {
  std::vector<RawEntry> entries;
  for (uint32_t i = 0; i < 8; ++i) {  // more than the ring holds
    entries.push_back({.name = Name(i), .data = Text(1 << 20, i), .deflate = true});
  }
  std::unique_ptr<InflateAhead> ahead = Start(entries);
  ASSERT_NE(ahead, nullptr);
  const unsigned char* data = nullptr;
  size_t size = 0;
  ASSERT_TRUE(ahead->Take(0, &data, &size));
  EXPECT_EQ(size, size_t{1} << 20);
  ahead.reset();  // the worker waits for space that never comes, and must still end
}

}  // namespace
}  // namespace nocunzip::unzip32
