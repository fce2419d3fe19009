// The reader of the ZIP container: end records, central directory, local headers and the
// check of where entries lie, on archives built byte by byte.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <random>

#include "read/archive_scan.h"
#include "read/central_directory.h"
#include "read/end_records.h"
#include "read/zip_format.h"
#include "read/entry_layout.h"
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
  std::string long_comment = kTwo;  // the comment claims more bytes than the file has
  Patch16(long_comment, end_at + 20, 500);
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"plain", kTwo},
      {"junk after the end record", kTwo + std::string(300, 'j')},
      {"prefix, offsets from the ZIP data", std::string(1000, 'x') + kTwo},
      {"disk numbers of a single-file archive", disks},
      {"comment longer than the file", long_comment},
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
  unicode += "caf\xc3\xa8.txt";  // the field re-spells the one character outside ASCII
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
  EXPECT_EQ(back.entries[2].name, "caf\xc3\xa8.txt");
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

// The zip64 end record and locator that a writer puts before the classic end record of
// `archive` (built without comment), with the values `count`, and the locator pointing
// `locator_moved` bytes away from the record.
std::string WithZip64Records(const std::string& archive, uint64_t count,
                             int64_t locator_moved = 0) {
  const size_t end_at = archive.size() - 22;
  const unsigned char* classic = reinterpret_cast<const unsigned char*>(archive.data()) + end_at;
  std::string records;
  Put32(records, 0x06064b50);
  Put64(records, 44);
  Put16(records, 45);
  Put16(records, 45);
  Put32(records, 0);
  Put32(records, 0);
  Put64(records, count);
  Put64(records, count);
  Put64(records, Get32(classic + 12));
  Put64(records, Get32(classic + 16));
  Put32(records, 0x07064b50);
  Put32(records, 0);
  Put64(records, static_cast<uint64_t>(static_cast<int64_t>(end_at) + locator_moved));
  Put32(records, 1);
  return archive.substr(0, end_at) + records + archive.substr(end_at);
}

std::string Unicode(const std::string& raw_name, const std::string& name, char version = 1) {
  std::string field(1, version);
  Put32(field, crc32(0, reinterpret_cast<const Bytef*>(raw_name.data()), raw_name.size()));
  return Field(0x7075, field + name);
}

// Archives that readers read in more than one way, each refused whole with a message that
// names both readings; and odd archives that have one reading, each read.
TEST(Reader, RefusesArchivesThatReadInMoreThanOneWay) {
  const std::string dd(std::string("PK\x07\x08", 4));
  std::string count_low = kTwo.substr(0, kTwo.size() - 7);  // without its comment
  Patch16(count_low, count_low.size() - 22 + 20, 0);
  std::string one_reading = count_low;
  Patch16(count_low, count_low.size() - 22 + 8, 1);
  Patch16(count_low, count_low.size() - 22 + 10, 1);
  // Two directories: the first record at the recorded offset, the second one (of the same
  // size) right before the end record.
  std::string two_directories =
      BuildRawZip({{.name = "a", .data = "1"}, {.name = "b", .data = "2"}});
  const size_t end_at = two_directories.size() - 22;
  Patch16(two_directories, end_at + 8, 1);
  Patch16(two_directories, end_at + 10, 1);
  Patch16(two_directories, end_at + 12, 47);
  // An end record inside the directory, between its two records.
  const uint32_t one_directory_at =
      Get32(reinterpret_cast<const unsigned char*>(one_reading.data()) + one_reading.size() - 6);
  std::string stop_inside = one_reading.substr(0, one_directory_at + 51) +
                            std::string("PK\x05\x05\0\0", 6) +
                            one_reading.substr(one_directory_at + 51);
  const unsigned char* classic =
      reinterpret_cast<const unsigned char*>(stop_inside.data()) + stop_inside.size() - 22;
  Patch16(stop_inside, stop_inside.size() - 22 + 12,
          static_cast<uint16_t>(Get32(classic + 12) + 6));
  // A stored entry with bit 3 whose data hold what a streaming reader takes for its
  // descriptor, after 3 bytes: the signature and the CRC of the bytes before it.
  std::string early = "abc" + dd;
  Put32(early, crc32(0, reinterpret_cast<const Bytef*>("abc"), 3));
  Put32(early, 3);
  Put32(early, 3);
  std::string bad_descriptor = dd;
  Put32(bad_descriptor, crc32(0, reinterpret_cast<const Bytef*>("data"), 4));
  Put32(bad_descriptor, 0);
  Put32(bad_descriptor, 0);
  const uint32_t data_crc = crc32(0, reinterpret_cast<const Bytef*>("data"), 4);
  std::string wide_descriptor = dd;  // 64-bit sizes, as zip64 writers put them
  Put32(wide_descriptor, data_crc);
  Put64(wide_descriptor, 4);
  Put64(wide_descriptor, 4);
  std::string unsigned_descriptor;  // without its signature
  Put32(unsigned_descriptor, data_crc);
  Put32(unsigned_descriptor, 4);
  Put32(unsigned_descriptor, 4);
  // A copy of the end record inside its own comment: the copy, last in the file, leads to
  // no directory of its own.
  const size_t two_end_at = kTwo.size() - 22 - 7;
  std::string copy_in_comment = kTwo.substr(0, two_end_at) + kTwo.substr(two_end_at, 20);
  Patch16(copy_in_comment, two_end_at + 20, 22);
  copy_in_comment += kTwo.substr(two_end_at, 22);
  // zip64 records with a locator but no record, and with a record on another disk.
  std::string stray_locator = WithZip64Records(one_reading, 2);
  stray_locator[one_reading.size() - 22] = 'X';
  std::string other_disk = WithZip64Records(one_reading, 2);
  Patch16(other_disk, one_reading.size() - 22 + 16, 1);
  // Counts on this disk and in all that differ.
  std::string disk_count = one_reading;
  Patch16(disk_count, disk_count.size() - 22 + 8, 1);
  // A locator that points near the end of the offsets, in an archive moved by a prefix.
  const int64_t near_end = INT64_MAX - static_cast<int64_t>(one_reading.size());
  const std::string far_locator =
      std::string(1000, 'x') + WithZip64Records(one_reading, 2, near_end);
  // An entry that the directory does not list, at the very start of the file.
  const std::string unlisted = BuildRawZip({{.name = "payload.sh", .data = "2"}});
  const std::string front_entry = unlisted.substr(0, 30 + 10 + 1) + one_reading;
  std::string junk_local = "JUNK";
  Put32(junk_local, 0x04034b50);
  struct Case {
    const char* what;
    std::string bytes;
    const char* says;
  } cases[] = {
      // A1-A5: the local header against the central record.
      {"A1 method", BuildRawZip({{.name = "a", .data = "data", .local_method = 8}}),
       "the local header of entry a says method Deflate, the central directory Stored"},
      {"A2 CRC", BuildRawZip({{.name = "a", .data = "data", .local_crc = 7}}),
       "says its CRC is 00000007"},
      {"A2 local sizes 0 without bit 3",
       BuildRawZip({{.name = "a", .data = "datadata", .local_compressed = 0, .local_size = 0}}),
       "says its compressed size is 0 bytes, the central directory 8"},
      {"A2 local sizes larger",
       BuildRawZip({{.name = "a", .data = "", .local_compressed = 8, .local_size = 8}}),
       "says its compressed size is 8 bytes, the central directory 0"},
      {"A2 descriptor",
       BuildRawZip(
           {{.name = "a", .data = "data", .data_descriptor = true, .descriptor = bad_descriptor}}),
       "the data descriptor of entry a does not hold the CRC and sizes"},
      {"A2 stored descriptor inside the data",
       BuildRawZip({{.name = "s", .data = early + "rest", .data_descriptor = true}}),
       "hold a data descriptor after 3 bytes that the CRC of the bytes before it fits"},
      {"A3 name", BuildRawZip({{.name = "cdh", .data = "x", .local_name = "lfh"}}),
       "the local header names the entry lfh, the central directory cdh"},
      {"A3 two Unicode path fields",
       BuildRawZip({{.name = "u",
                     .data = "x",
                     .central_extra = Unicode("u", "one") + Unicode("u", "two")}}),
       "carries more than one Unicode path (0x7075) field"},
      {"A3 two AES fields, the first saying deflate, the second stored",
       BuildRawZip({{.name = "a",
                     .data = "xxxxxxxxxxxxxxxxxx",
                     .flags = 1,
                     .method = 99,
                     .central_extra = Field(0x9901, std::string("\x02\x00"
                                                                "AE\x03\x08\x00",
                                                                7)) +
                                      Field(0x9901, std::string("\x02\x00"
                                                                "AE\x03\x00\x00",
                                                                7))}}),
       "entry a carries more than one AES (0x9901) field"},
      {"A3 two extended timestamps in the local header",
       BuildRawZip({{.name = "t",
                     .data = "x",
                     .local_extra = Field(0x5455, std::string("\x01\x00\x00\x00\x00", 5)) +
                                    Field(0x5455, std::string("\x01\x01\x00\x00\x00", 5))}}),
       "the local header of entry t carries more than one extended timestamp (0x5455) field"},
      {"A3 two NTFS fields",
       BuildRawZip(
           {{.name = "n", .data = "x", .central_extra = Field(0x000a, "") + Field(0x000a, "")}}),
       "carries more than one NTFS (0x000a) field"},
      {"A3 two zip64 fields",
       BuildRawZip(
           {{.name = "z", .data = "x", .local_extra = Field(0x0001, "") + Field(0x0001, "")}}),
       "carries more than one zip64 (0x0001) field"},
      {"A3 Unicode path field that changes the ASCII of a code-page name",
       BuildRawZip({{.name = "\x81"
                             "ber.txt",
                     .data = "x",
                     .central_extra = Unicode("\x81"
                                              "ber.txt",
                                              "docs/other.txt")}}),
       "names it docs/other.txt, which is more than another spelling"},
      {"A3 Unicode path field that adds a separator among re-spelled characters",
       BuildRawZip({{.name = "a\x81\x82"
                             "b",
                     .data = "x",
                     .central_extra = Unicode("a\x81\x82"
                                              "b",
                                              "a\xc3\xbc/\xc3\xa9"
                                              "b")}}),
       "which is more than another spelling"},
      {"A3 Unicode path field of version 2",
       BuildRawZip({{.name = "u",
                     .data = "x",
                     .local_extra = Unicode("u", "v", 2),
                     .central_extra = Unicode("u", "v", 2)}}),
       "Unicode path field of an unknown version"},
      {"A3 Unicode path only in the central record",
       BuildRawZip({{.name = "\x81", .data = "x", .central_extra = Unicode("\x81", "\xc3\xa4")}}),
       "the local header names the entry \xc3\xbc, the central directory \xc3\xa4"},
      {"A4 directory with data", BuildRawZip({{.name = "d/", .data = "x"}}),
       "entry d/ is marked as a directory but holds 1 bytes"},
      {"A4 DOS directory with data",
       BuildRawZip({{.name = "d", .data = "x", .external_attributes = 0x10}}),
       "marked as a directory"},
      {"A4 d/. with data", BuildRawZip({{.name = "d/.", .data = "x"}}), "marked as a directory"},
      {"A4 . with data", BuildRawZip({{.name = ".", .data = "x"}}), "marked as a directory"},
      {"A5 encryption only in the local header",
       BuildRawZip({{.name = "a", .data = "data", .local_flags = 1}}),
       "says it is encrypted, the central directory that it is not"},
      // B1, B3: names of one path.
      {"B1 one name twice", BuildRawZip({{.name = "a", .data = "1"}, {.name = "a", .data = "2"}}),
       "entries a and a both name the path a"},
      {"B3 a//b", BuildRawZip({{.name = "a/b", .data = "1"}, {.name = "a//b", .data = "2"}}),
       "both name the path a/b"},
      {"B3 ./a/b", BuildRawZip({{.name = "a/b", .data = "1"}, {.name = "./a/b", .data = "2"}}),
       "both name the path a/b"},
      {"B3 a/./b", BuildRawZip({{.name = "a/b", .data = "1"}, {.name = "a/./b", .data = "2"}}),
       "both name the path a/b"},
      {"B3 a\\b", BuildRawZip({{.name = "a/b", .data = "1"}, {.name = "a\\b", .data = "2"}}),
       "both name the path a/b"},
      {"B3 a/b/.",
       BuildRawZip({{.name = "a/b/"}, {.name = "a/b/.", .data = ""}, {.name = "a/b", .data = "2"}}),
       "both name the path a/b"},
      {"B3 leading /", BuildRawZip({{.name = "a", .data = "1"}, {.name = "/a", .data = "2"}}),
       "both name the path a"},
      {"B3 ../a/b beside a/b",
       BuildRawZip({{.name = "a/b", .data = "1"}, {.name = "../a/b", .data = "2"}}),
       "entry ../a/b names the path a/b of entry a/b"},
      {"B3 c/../a/b before a/b: resolved",
       BuildRawZip({{.name = "c/../a/b", .data = "1"}, {.name = "a/b", .data = "2"}}),
       "entry c/../a/b names the path a/b of entry a/b"},
      {"B3 c/../a/b beside c/a/b: dropped",
       BuildRawZip({{.name = "c/a/b", .data = "1"}, {.name = "c/../a/b", .data = "2"}}),
       "entry c/../a/b names the path c/a/b of entry c/a/b"},
      {"B3 a dotted directory beside a file",
       BuildRawZip({{.name = "../d/"}, {.name = "d", .data = "2"}}),
       "entry ../d/ names the path d of entry d"},
      // C1: records between the entries that a streaming reader finds.
      {"C1 local header between entries",
       BuildRawZip({{.name = "a", .data = "1", .after = junk_local}, {.name = "b", .data = "2"}}),
       "between entry a and entry b lie 8 bytes that hold a local header"},
      {"C1 central header after the data",
       BuildRawZip({{.name = "a", .data = "1", .after = std::string("PK\x01\x02", 4)},
                    {.name = "b", .data = "2"}}),
       "a central directory record, where a reader that streams through the archive stops"},
      {"C1 descriptor before the directory",
       BuildRawZip({{.name = "a", .data = "1", .after = dd + std::string(12, '\0')}}),
       "between entry a and the central directory"},
      // C2-C5: end records and directories.
      {"C2 a second archive in the comment",
       BuildRawZip({{.name = "readme.txt", .data = "1"}},
                   BuildRawZip({{.name = "payload.sh", .data = "2"}})),
       "two end records or central directories that list different entries (entry 1 is readme.txt "
       "in one, "
       "payload.sh in the other)"},
      {"C2 an empty archive's end record in the comment",
       kTwo.substr(0, kTwo.size() - 9) + std::string("\x16\0PK\x05\x06", 6) + std::string(18, '\0'),
       "list different entries"},
      {"C3 count", count_low, "the end record counts 1 entries, the central directory holds 2"},
      {"C3 end record inside the directory", stop_inside,
       "the central directory holds an end record after entry 1"},
      {"C4 two directories", two_directories, "entry 1 is b in one, a in the other"},
      {"C5 zip64 count", WithZip64Records(one_reading, 3),
       "the zip64 end record counts 3 entries, the classic end record 2"},
      {"C5 locator elsewhere", WithZip64Records(one_reading, 2, -10),
       "the zip64 locator points to offset"},
      {"C5 locator without a record", stray_locator, "leads to no zip64 end record"},
      {"C5 zip64 record on another disk", other_disk, "puts the directory on disk"},
      {"C5 locator near the end of the offsets", far_locator, "the zip64 locator points to offset"},
      {"C3 count on this disk", disk_count, "counts 1 entries on this disk and 2 in all"},
      {"C2 a copy of the end record in its comment", copy_in_comment,
       "the last end record in the file leads to no central directory"},
      {"C1 an unlisted entry at the start", front_entry,
       "the file begins with the local header of an entry (payload.sh)"},
      {"A3 UTF-8 name with a Unicode path field of another name",
       BuildRawZip({{.name = "a.txt",
                     .data = "1",
                     .flags = 0x800,
                     .central_extra = Unicode("a.txt", "b.txt")}}),
       "carries a Unicode path field that names it b.txt, which is more than"},
      {"A3 ASCII name with a Unicode path field of another ASCII name",
       BuildRawZip({{.name = "a.txt", .data = "1", .central_extra = Unicode("a.txt", "B.TXT")}}),
       "carries a Unicode path field that names it B.TXT, which is more than"},
      {"A3 ASCII name with a Unicode path field that adds other characters",
       BuildRawZip(
           {{.name = "a.txt", .data = "1", .central_extra = Unicode("a.txt", "\xc3\xa4.txt")}}),
       "which is more than another spelling"},
      // One reading each.
      {"Unicode path field re-spelling code-page bytes, one as several characters",
       BuildRawZip({{.name = "d/\x81"
                             "ber\x82.txt",
                     .data = "1",
                     .local_extra = Unicode("d/\x81"
                                            "ber\x82.txt",
                                            "d/\xc3\xbc\xc3\xa4"
                                            "ber\xe2\x82\xac.txt"),
                     .central_extra = Unicode("d/\x81"
                                              "ber\x82.txt",
                                              "d/\xc3\xbc\xc3\xa4"
                                              "ber\xe2\x82\xac.txt")}}),
       ""},
      {"junk between entries",
       BuildRawZip({{.name = "a", .data = "1", .after = "-JUNK-"}, {.name = "b", .data = "2"}}),
       ""},
      {"junk in front", std::string(100, 'x') + one_reading, ""},
      {"a stray zip64 record that agrees", WithZip64Records(one_reading, 2), ""},
      {"bit 3 with zeros and a descriptor",
       BuildRawZip({{.name = "s", .data = "data", .data_descriptor = true}}), ""},
      {"descriptor with 64-bit sizes",
       BuildRawZip(
           {{.name = "s", .data = "data", .data_descriptor = true, .descriptor = wide_descriptor},
            {.name = "t",
             .data = "data",
             .data_descriptor = true,
             .descriptor = unsigned_descriptor}}),
       ""},
      {"a directory twice",
       BuildRawZip({{.name = "d/"}, {.name = "d//"}, {.name = "d/f", .data = "x"}}), ""},
      {"the target itself without data",
       BuildRawZip({{.name = "./"}, {.name = "."}, {.name = "f", .data = "x"}}), ""},
  };
  for (const Case& c : cases) {
    const ReadBack back = Read(c.bytes);
    if (std::string(c.says).empty()) {
      EXPECT_EQ(back.problem, "") << c.what;
      EXPECT_FALSE(back.entries.empty()) << c.what;
      continue;
    }
    EXPECT_NE(back.problem.find(c.says), std::string::npos) << c.what << ": " << back.problem;
    EXPECT_EQ(back.problem.rfind("the archive reads in more than one way", 0), 0u)
        << c.what << ": " << back.problem;
  }
}

TEST(Reader, NamesThatDifferOnlyInCaseAreTwinsWhereFileSystemsIgnoreCase) {
  StringReader reader(BuildRawZip({{.name = "Read.me", .data = "1"},
                                   {.name = "x", .data = "2"},
                                   {.name = "READ.ME", .data = "3"}}));
  const ArchiveEnd end = FindArchiveEnd(reader);
  const ScanResult scan = ScanArchive(reader, end, [](const Entry&) {});
  ASSERT_TRUE(scan.ok()) << scan.message;
#ifdef _WIN32
  ASSERT_EQ(scan.case_twins.size(), 1u);
  EXPECT_EQ(scan.case_twins[0].index, 2u);
  EXPECT_EQ(scan.case_twins[0].earlier_name, "Read.me");
#else
  EXPECT_TRUE(scan.case_twins.empty());
#endif
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

  // Out of order too, the bytes between entries are walked as a streaming reader walks them.
  std::string junk = "JUNK";
  Put32(junk, 0x04034b50);
  std::string gap = BuildRawZip({{.name = "a", .data = "aaaa", .after = junk},
                                 {.name = "b", .data = "bbbb"},
                                 {.name = "c", .data = "cccc"}});
  const size_t gap_directory = gap.size() - 22 - 3 * 47;
  gap = gap.substr(0, gap_directory) + gap.substr(gap_directory + 47, 47) +
        gap.substr(gap_directory, 47) + gap.substr(gap_directory + 94);
  const ReadBack walked = Read(gap);
  EXPECT_NE(walked.problem.find("between entry a and entry b lie 8 bytes that hold a local header"),
            std::string::npos)
      << walked.problem;
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
