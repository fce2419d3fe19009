// The central directory read one record at a time: the fields of each record and its extra
// fields, and the records that readers read in more than one way.
#include "read/central_directory.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "read/end_records.h"
#include "read/zip_format.h"
#include "testing/read_back.h"
#include "testing/test_archive.h"

namespace nocunzip::unzip32 {
namespace {

using testing::BuildRawZip;
using testing::ExpectReadings;
using testing::ExtraField;
using testing::Patch16;
using testing::ReadArchive;
using testing::ReadBack;
using testing::StringReader;
using testing::UnicodePathField;

TEST(CentralDirectory, ReadsTheFieldsOfTheCentralRecord) {
  std::string unicode = "\x01";
  const std::string raw_name = "caf\x82.txt";  // CP437 é
  const uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(raw_name.data()), raw_name.size());
  Put32(unicode, crc);
  unicode += "caf\xc3\xa8.txt";  // the field re-spells the one character outside ASCII
  const ReadBack back = ReadArchive(BuildRawZip({
      {.name = raw_name, .data = "1"},
      {.name = "dosdir", .data = "", .external_attributes = 0x10},
      {.name = raw_name,
       .data = "2",
       .local_extra = ExtraField(0x7075, unicode),
       .central_extra = ExtraField(0x7075, unicode)},
      {.name = "stale",
       .data = "2",
       .local_extra = ExtraField(0x7075, unicode),
       .central_extra = ExtraField(0x7075, unicode)},
      {.name = "stamped",
       .data = "3",
       .central_extra = ExtraField(0x5455, std::string("\x01\x00\xf1\x53\x65", 5))},
      {.name = "aes",
       .data = "xxxxxxxxxxxxxxxxxx",
       .flags = 1,
       .method = 99,
       .central_extra = ExtraField(0x9901, std::string("\x02\x00"
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

// The steps of a walk through the directory: each entry, then the end for good; a record that
// runs past the directory or whose data would lie outside the archive stops it as damaged.
TEST(CentralDirectory, StepsThroughTheRecordsAndStopsAtTheFirstDamage) {
  StringReader reader(testing::TwoEntries());
  const ArchiveEnd end = FindArchiveEnd(reader);
  ASSERT_EQ(end.problem, EndProblem::kNone) << end.message;
  ArchiveEnd short_directory = end;
  short_directory.directory_size -= 1;
  ArchiveEnd moved_past = end;
  moved_past.shift = static_cast<int64_t>(end.directory_offset);
  using Step = CentralDirectory::Step;
  struct Case {
    const char* what;
    const ArchiveEnd& end;
    std::vector<Step> steps;
    const char* says;
  } cases[] = {
      {"whole", end, {Step::kEntry, Step::kEntry, Step::kEnd, Step::kEnd}, ""},
      {"one byte short",
       short_directory,
       {Step::kEntry, Step::kDamaged, Step::kEnd},
       "central directory entry 2 runs past the directory"},
      {"offsets past the data",
       moved_past,
       {Step::kDamaged, Step::kEnd},
       "entry a.txt has an offset outside the archive"},
  };
  for (const Case& c : cases) {
    CentralDirectory directory(reader, c.end);
    Entry entry;
    std::string problem;
    for (size_t i = 0; i < c.steps.size(); ++i) {
      EXPECT_EQ(directory.Next(&entry, &problem), c.steps[i]) << c.what << ", step " << i;
    }
    EXPECT_EQ(problem, c.says) << c.what;
  }
}

// Records and extra fields that readers read in more than one way, each refused whole; and
// a Unicode path field that only re-spells its name, read.
TEST(CentralDirectory, RefusesRecordsThatReadInMoreThanOneWay) {
  // An end record inside the directory, between its two records.
  const std::string one_reading = testing::TwoEntriesWithoutComment();
  const uint32_t one_directory_at =
      Get32(reinterpret_cast<const unsigned char*>(one_reading.data()) + one_reading.size() - 6);
  std::string stop_inside = one_reading.substr(0, one_directory_at + 51) +
                            std::string("PK\x05\x05\0\0", 6) +
                            one_reading.substr(one_directory_at + 51);
  const unsigned char* classic =
      reinterpret_cast<const unsigned char*>(stop_inside.data()) + stop_inside.size() - 22;
  Patch16(stop_inside, stop_inside.size() - 22 + 12,
          static_cast<uint16_t>(Get32(classic + 12) + 6));
  ExpectReadings({
      {"end record inside the directory", stop_inside,
       "the central directory holds an end record after entry 1"},
      {"two Unicode path fields",
       BuildRawZip(
           {{.name = "u",
             .data = "x",
             .central_extra = UnicodePathField("u", "one") + UnicodePathField("u", "two")}}),
       "carries more than one Unicode path (0x7075) field"},
      {"two AES fields, the first saying deflate, the second stored",
       BuildRawZip({{.name = "a",
                     .data = "xxxxxxxxxxxxxxxxxx",
                     .flags = 1,
                     .method = 99,
                     .central_extra = ExtraField(0x9901, std::string("\x02\x00"
                                                                     "AE\x03\x08\x00",
                                                                     7)) +
                                      ExtraField(0x9901, std::string("\x02\x00"
                                                                     "AE\x03\x00\x00",
                                                                     7))}}),
       "entry a carries more than one AES (0x9901) field"},
      {"two NTFS fields",
       BuildRawZip({{.name = "n",
                     .data = "x",
                     .central_extra = ExtraField(0x000a, "") + ExtraField(0x000a, "")}}),
       "carries more than one NTFS (0x000a) field"},
      {"Unicode path field that changes the ASCII of a code-page name",
       BuildRawZip({{.name = "\x81"
                             "ber.txt",
                     .data = "x",
                     .central_extra = UnicodePathField("\x81"
                                                       "ber.txt",
                                                       "docs/other.txt")}}),
       "names it docs/other.txt, which is more than another spelling"},
      {"Unicode path field that adds a separator among re-spelled characters",
       BuildRawZip({{.name = "a\x81\x82"
                             "b",
                     .data = "x",
                     .central_extra = UnicodePathField("a\x81\x82"
                                                       "b",
                                                       "a\xc3\xbc/\xc3\xa9"
                                                       "b")}}),
       "which is more than another spelling"},
      {"Unicode path field of version 2",
       BuildRawZip({{.name = "u",
                     .data = "x",
                     .local_extra = UnicodePathField("u", "v", 2),
                     .central_extra = UnicodePathField("u", "v", 2)}}),
       "Unicode path field of an unknown version"},
      {"UTF-8 name with a Unicode path field of another name",
       BuildRawZip({{.name = "a.txt",
                     .data = "1",
                     .flags = 0x800,
                     .central_extra = UnicodePathField("a.txt", "b.txt")}}),
       "carries a Unicode path field that names it b.txt, which is more than"},
      {"ASCII name with a Unicode path field of another ASCII name",
       BuildRawZip(
           {{.name = "a.txt", .data = "1", .central_extra = UnicodePathField("a.txt", "B.TXT")}}),
       "carries a Unicode path field that names it B.TXT, which is more than"},
      {"ASCII name with a Unicode path field that adds other characters",
       BuildRawZip({{.name = "a.txt",
                     .data = "1",
                     .central_extra = UnicodePathField("a.txt", "\xc3\xa4.txt")}}),
       "which is more than another spelling"},
      {"Unicode path field re-spelling code-page bytes, one as several characters",
       BuildRawZip({{.name = "d/\x81"
                             "ber\x82.txt",
                     .data = "1",
                     .local_extra = UnicodePathField("d/\x81"
                                                     "ber\x82.txt",
                                                     "d/\xc3\xbc\xc3\xa4"
                                                     "ber\xe2\x82\xac.txt"),
                     .central_extra = UnicodePathField("d/\x81"
                                                       "ber\x82.txt",
                                                       "d/\xc3\xbc\xc3\xa4"
                                                       "ber\xe2\x82\xac.txt")}}),
       ""},
  });
}

}  // namespace
}  // namespace nocunzip::unzip32
