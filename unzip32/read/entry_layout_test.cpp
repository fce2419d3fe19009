// Where an entry lies and whether its local header and data descriptor agree with its
// central record.
#include "read/entry_layout.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "read/zip_format.h"
#include "testing/read_back.h"
#include "testing/test_archive.h"

namespace nocunzip::unzip32 {
namespace {

using testing::BuildRawZip;
using testing::ExpectReadings;
using testing::ExtraField;
using testing::ReadArchive;
using testing::ReadBack;
using testing::UnicodePathField;

TEST(EntryLayout, LocalHeadersOnlySayWhereTheDataBegins) {
  // As bsdtar writes: bit 3, zeros for CRC and sizes, extra fields of other lengths.
  const ReadBack back = ReadArchive(
      BuildRawZip({{.name = "s.txt",
                    .data = "stream",
                    .deflate = true,
                    .data_descriptor = true,
                    .local_extra = ExtraField(0x5455, std::string("\x01\x00\x00\x00\x00", 5)) +
                                   std::string(3, '\0')}}));
  ASSERT_EQ(back.problem, "");
  EXPECT_EQ(back.entries[0].crc_known, true);
  EXPECT_EQ(back.entries[0].uncompressed_size, 6u);
  EXPECT_EQ(back.data[0], testing::DeflateRaw("stream"));
}

// Local headers and descriptors that say other things than the central record, each refused
// whole; and descriptors in each form that writers use, read.
TEST(EntryLayout, RefusesLocalRecordsThatDisagreeWithTheDirectory) {
  const std::string dd(std::string("PK\x07\x08", 4));
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
  ExpectReadings({
      {"method", BuildRawZip({{.name = "a", .data = "data", .local_method = 8}}),
       "the local header of entry a says method Deflate, the central directory Stored"},
      {"CRC", BuildRawZip({{.name = "a", .data = "data", .local_crc = 7}}),
       "says its CRC is 00000007"},
      {"local sizes 0 without bit 3",
       BuildRawZip({{.name = "a", .data = "datadata", .local_compressed = 0, .local_size = 0}}),
       "says its compressed size is 0 bytes, the central directory 8"},
      {"local sizes larger",
       BuildRawZip({{.name = "a", .data = "", .local_compressed = 8, .local_size = 8}}),
       "says its compressed size is 8 bytes, the central directory 0"},
      {"descriptor",
       BuildRawZip(
           {{.name = "a", .data = "data", .data_descriptor = true, .descriptor = bad_descriptor}}),
       "the data descriptor of entry a does not hold the CRC and sizes"},
      {"name", BuildRawZip({{.name = "cdh", .data = "x", .local_name = "lfh"}}),
       "the local header names the entry lfh, the central directory cdh"},
      {"two extended timestamps in the local header",
       BuildRawZip({{.name = "t",
                     .data = "x",
                     .local_extra = ExtraField(0x5455, std::string("\x01\x00\x00\x00\x00", 5)) +
                                    ExtraField(0x5455, std::string("\x01\x01\x00\x00\x00", 5))}}),
       "the local header of entry t carries more than one extended timestamp (0x5455) field"},
      {"two zip64 fields",
       BuildRawZip({{.name = "z",
                     .data = "x",
                     .local_extra = ExtraField(0x0001, "") + ExtraField(0x0001, "")}}),
       "carries more than one zip64 (0x0001) field"},
      {"Unicode path only in the central record",
       BuildRawZip(
           {{.name = "\x81", .data = "x", .central_extra = UnicodePathField("\x81", "\xc3\xa4")}}),
       "the local header names the entry \xc3\xbc, the central directory \xc3\xa4"},
      {"encryption only in the local header",
       BuildRawZip({{.name = "a", .data = "data", .local_flags = 1}}),
       "says it is encrypted, the central directory that it is not"},
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
  });
}

}  // namespace
}  // namespace nocunzip::unzip32
