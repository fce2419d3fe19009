// The reader of the ZIP container: end records, central directory, local headers and the
// check of where entries lie, on archives built byte by byte.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>

#include "read/archive_scan.h"
#include "read/central_directory.h"
#include "read/end_records.h"
#include "read/little_endian.h"
#include "read/local_header.h"
#include "testing/test_archive.h"

namespace nocunzip::unzip32 {
namespace {
using testing::BuildRawZip;
using testing::RawEntry;
using testing::StringReader;

// What the reader makes of an archive: the first problem, or every entry with the bytes of
// its data.
struct ReadBack {
  std::string problem;  // empty when the archive reads
  std::vector<Entry> entries;
  std::vector<std::string> data;
  std::string comment;
};

ReadBack Read(const std::string& bytes) {
  StringReader reader(bytes);
  ReadBack back;
  const ArchiveEnd end = FindArchiveEnd(reader);
  if (end.problem != EndProblem::kNone) {
    back.problem = end.message;
    return back;
  }
  back.comment = end.comment;
  const ScanResult scan =
      ScanArchive(reader, end, [&](const Entry& e) { back.entries.push_back(e); });
  if (!scan.ok()) {
    back.problem = scan.message;
    return back;
  }
  WindowedReader window(reader);
  for (const Entry& entry : back.entries) {
    EntryData data;
    std::string problem;
    EXPECT_TRUE(FindEntryData(window, entry, end.directory_offset, &data, &problem)) << problem;
    back.data.push_back(bytes.substr(data.offset, data.end - data.offset));
  }
  return back;
}

std::string Field(uint16_t id, const std::string& data) {
  std::string out;
  Put16(out, id);
  Put16(out, data.size());
  return out + data;
}

// Classic end record fields, by offset within the record.
void Patch16(std::string& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

const std::string kTwo = BuildRawZip(
    {{.name = "a.txt", .data = "aaaa"}, {.name = "dir/b.txt", .data = "bbbbbbbb", .deflate = true}},
    "comment");

TEST(Reader, ReadsTheArchivesThatOtherToolsRead) {
  const size_t end_at = kTwo.size() - 22 - 7;
  std::string disks = kTwo;  // a single-file archive that fills in disk numbers anyway
  Patch16(disks, end_at + 4, 0);
  Patch16(disks, end_at + 6, 0);
  Patch16(disks, end_at + 8, 1);
  std::string long_comment = kTwo;  // the comment claims more bytes than the file has
  Patch16(long_comment, end_at + 20, 500);
  std::string fake_in_comment =  // an end record quoted inside the comment
      kTwo.substr(0, end_at) + kTwo.substr(end_at, 20);
  Patch16(fake_in_comment, end_at + 20, 22);
  fake_in_comment += kTwo.substr(end_at, 22);
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"plain", kTwo},
      {"junk after the end record", kTwo + std::string(300, 'j')},
      {"prefix, offsets from the ZIP data", std::string(1000, 'x') + kTwo},
      {"disk numbers of a single-file archive", disks},
      {"comment longer than the file", long_comment},
      {"end record inside the comment", fake_in_comment},
  };
  for (const Case& c : cases) {
    const ReadBack back = Read(c.bytes);
    ASSERT_EQ(back.problem, "") << c.what;
    ASSERT_EQ(back.entries.size(), 2u) << c.what;
    EXPECT_EQ(back.entries[0].name, "a.txt") << c.what;
    EXPECT_EQ(back.data[0], "aaaa") << c.what;
    EXPECT_EQ(back.entries[1].name, "dir/b.txt") << c.what;
    EXPECT_EQ(back.entries[1].method, 8) << c.what;
  }
}

TEST(Reader, LocalHeadersOnlySayWhereTheDataBegins) {
  // As bsdtar writes: bit 3, zeros for CRC and sizes, extra fields of other lengths.
  const ReadBack back =
      Read(BuildRawZip({{.name = "s.txt",
                         .data = "stream",
                         .deflate = true,
                         .data_descriptor = true,
                         .local_extra = Field(0x5455, std::string("\x01\x00\x00\x00\x00", 5)) +
                                        std::string(3, '\0')}}));
  ASSERT_EQ(back.problem, "");
  EXPECT_EQ(back.entries[0].crc_known, true);
  EXPECT_EQ(back.entries[0].uncompressed_size, 6u);
  EXPECT_EQ(back.data[0], testing::DeflateRaw("stream"));
}

TEST(Reader, ReadsTheFieldsOfTheCentralRecord) {
  std::string unicode = "\x01";
  const std::string raw_name = "caf\x82.txt";  // CP437 é
  const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(raw_name.data()), raw_name.size());
  Put32(unicode, crc);
  unicode += "caf\xc3\xa9-unicode.txt";
  const ReadBack back = Read(BuildRawZip({
      {.name = raw_name, .data = "1"},
      {.name = "dosdir", .data = "", .external_attributes = 0x10},
      {.name = raw_name,
       .data = "2",
       .local_extra = Field(0x7075, unicode),
       .central_extra = Field(0x7075, unicode)},
      {.name = "stale",
       .data = "2",
       .local_extra = Field(0x7075, unicode),
       .central_extra = Field(0x7075, unicode)},
      {.name = "stamped",
       .data = "3",
       .central_extra = Field(0x5455, std::string("\x01\x00\xf1\x53\x65", 5))},
      {.name = "aes",
       .data = "xxxxxxxxxxxxxxxxxx",
       .flags = 1,
       .method = 99,
       .central_extra = Field(0x9901, std::string("\x02\x00"
                                                  "AE\x03\x0e\x00",
                                                  7))},
  }));
  ASSERT_EQ(back.problem, "");
  EXPECT_EQ(back.entries[0].name, "caf\xc3\xa9.txt");
  EXPECT_TRUE(back.entries[1].is_directory);
  EXPECT_EQ(back.entries[2].name, "caf\xc3\xa9-unicode.txt");
  EXPECT_EQ(back.entries[3].name, "stale") << "the field's CRC is of another name";
  EXPECT_EQ(back.entries[4].mtime, 1700000000);
  EXPECT_EQ(back.entries[5].encryption, Encryption::kAes);
  EXPECT_EQ(back.entries[5].aes_key_bits, 256);
  EXPECT_EQ(back.entries[5].method, 14);
  EXPECT_FALSE(back.entries[5].crc_known);
}

TEST(Reader, RefusesDamagedAndHostileLayouts) {
  std::string count = BuildRawZip({{.name = "a", .data = "x"}});
  Patch16(count, count.size() - 22 + 8, 0xFFFF);
  Patch16(count, count.size() - 22 + 10, 0xFFFF);
  struct Case {
    const char* what;
    std::string bytes;
    const char* says;
  } cases[] = {
      {"empty", "", "empty"},
      {"text", "just some text that is long enough to hold a record", "not a ZIP archive"},
      {"shared data",
       BuildRawZip({{.name = "a", .data = "xxxxxxxx"}, {.name = "b", .share_local_header_of = 0}}),
       "entries a and b overlap"},
      {"data into the next entry",
       BuildRawZip(
           {{.name = "a", .data = "xxxx", .declared_compressed = 5}, {.name = "b", .data = "y"}}),
       "overlap"},
      {"data into the directory",
       BuildRawZip({{.name = "last", .data = "xxxx", .declared_compressed = 200}}), "last"},
      {"more entries than the directory holds", count, "damaged"},
  };
  for (const Case& c : cases) {
    const ReadBack back = Read(c.bytes);
    EXPECT_NE(back.problem.find(c.says), std::string::npos) << c.what << ": " << back.problem;
  }
}

TEST(Reader, FindsOverlapsInArchivesOutOfOrder) {
  // The directory lists b before a; b's declared data run into a.
  std::string bytes = BuildRawZip({{.name = "a", .data = "aaaa"},
                                   {.name = "b", .data = "bbbb", .declared_compressed = 6},
                                   {.name = "c", .data = "cccc"}});
  const ReadBack in_order = Read(bytes);
  EXPECT_NE(in_order.problem.find("entries b and c overlap"), std::string::npos)
      << in_order.problem;
  // Swap the first two central records (each 46 + 1 bytes).
  const size_t directory = bytes.size() - 22 - 3 * 47;
  std::string swapped = bytes.substr(0, directory) + bytes.substr(directory + 47, 47) +
                        bytes.substr(directory, 47) + bytes.substr(directory + 94);
  const ReadBack back = Read(swapped);
  EXPECT_NE(back.problem.find("overlap"), std::string::npos) << back.problem;
}

TEST(Reader, EveryTruncationAndByteFlipIsHandled) {
  // Cut anywhere before the comment, the archive is refused; a comment cut short is
  // tolerated.
  const size_t comment_at = kTwo.size() - std::string("comment").size();
  for (size_t keep = 0; keep < kTwo.size(); ++keep) {
    EXPECT_EQ(Read(kTwo.substr(0, keep)).problem == "", keep >= comment_at) << keep;
  }
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    std::string bytes = kTwo;
    for (int flips = 0; flips < 3; ++flips)
      bytes[random() % bytes.size()] = static_cast<char>(random());
    const ReadBack back = Read(bytes);  // must neither crash nor read out of bounds
    for (size_t i = 0; i < back.data.size(); ++i) {
      EXPECT_EQ(back.data[i].size(), back.entries[i].compressed_size);
    }
  }
}

}  // namespace
}  // namespace nocunzip::unzip32
