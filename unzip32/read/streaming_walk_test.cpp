// The streaming reader's walk, on bytes held in memory: signatures anywhere in a gap, across
// the borders of the pieces it reads, and where a streaming reader leaves an entry.
#include "read/streaming_walk.h"

#include <gtest/gtest.h>

#include "methods/checksum.h"
#include "read/zip_format.h"
#include "testing/read_back.h"
#include "testing/test_archive.h"

namespace nocunzip::unzip32 {
namespace {

using testing::BuildRawZip;
using testing::StringReader;

std::string Signature(uint32_t value) {
  std::string bytes;
  Put32(bytes, value);
  return bytes;
}

TEST(StreamingWalk, FindsEveryRecordSignatureWhereverItLies) {
  const std::string plain(40000, 'P');  // "P" everywhere: a "PK" may start at any byte
  struct Case {
    uint32_t signature;
    const char* meaning;
  } cases[] = {{0x04034b50, "local header"}, {0x02014b50, "central directory record"},
               {0x06054b50, "end record"},   {0x06064b50, "end record"},
               {0x07064b50, "end record"},   {0x08074b50, "data descriptor"}};
  for (const Case& c : cases) {
    // Around the borders of the 16 KiB pieces, and at both ends of the range.
    for (const size_t at : {size_t{100}, size_t{16381}, size_t{16382}, size_t{16383}, size_t{16384},
                            size_t{32765}, size_t{39996}}) {
      std::string bytes = plain;
      bytes.replace(at, 4, Signature(c.signature));
      StringReader reader(bytes);
      WindowedReader window(reader);
      uint64_t where = 0;
      std::string meaning;
      ASSERT_TRUE(FindRecordSignature(window, {100, 100, 40000}, &where, &meaning))
          << c.meaning << at;
      EXPECT_EQ(where, at);
      EXPECT_NE(meaning.find(c.meaning), std::string::npos) << meaning;
      // A signature that reaches past the range is not in it.
      EXPECT_FALSE(FindRecordSignature(window, {100, 100, at + 3}, &where, &meaning)) << at;
    }
  }
  StringReader reader(plain + "PK\x05\x05" + "PK\x03\x03");  // other records, other bytes
  WindowedReader window(reader);
  uint64_t where = 0;
  std::string meaning;
  EXPECT_FALSE(FindRecordSignature(window, {0, 0, plain.size() + 8}, &where, &meaning));
}

// Where the streaming reader goes on before the entry ends for a reader of the directory
// (inside its descriptor, say), only what it reads or stops at counts there.
TEST(StreamingWalk, BeforeTheEntryEndsOnlyWhatTheStreamingReaderReadsCounts) {
  for (const auto& [signature, counts] : {std::pair{0x08074b50u, false},
                                          {0x07064b50u, false},
                                          {0x04034b50u, true},
                                          {0x02014b50u, true},
                                          {0x06054b50u, true},
                                          {0x06064b50u, true}}) {
    const std::string bytes = "xxxx" + Signature(signature) + std::string(20, 'x');
    StringReader reader(bytes);
    WindowedReader window(reader);
    uint64_t where = 0;
    std::string meaning;
    EXPECT_EQ(FindRecordSignature(window, {0, 10, bytes.size()}, &where, &meaning), counts)
        << std::hex << signature;
  }
}

TEST(StreamingWalk, TakesOnlyFilesThatBeginWithASignatureOrTheSpanningMarker) {
  for (const auto& [front, taken] : {std::pair{"PK\x03\x04", true},
                                     {"PK00", true},
                                     {"PK\x07\x08", true},
                                     {"PK\x06\x06", true},
                                     {"MZ\x90\x00", false},
                                     {"PK\x05\x05", false}}) {
    StringReader reader(std::string(front, 4) + "rest");
    WindowedReader window(reader);
    EXPECT_EQ(StreamingReaderTakes(window), taken) << front;
  }
}

// A stored entry with bit 3 that holds `data`, at offset 6 of a file that goes on with
// `after`; its local header carries a zip64 field where `wide`.
struct StoredCase {
  const char* what;
  std::string data;
  std::string after;
  bool encrypted;
  bool wide;
  StreamedEntry::Outcome outcome;
  uint64_t resume;  // from the start of the data
};

std::string Descriptor(uint32_t crc, uint64_t size, bool wide, bool signed_form = true) {
  std::string bytes = signed_form ? Signature(zip::kDataDescriptorSignature) : "";
  Put32(bytes, crc);
  if (wide) {
    Put64(bytes, size);
    Put64(bytes, size);
  } else {
    Put32(bytes, static_cast<uint32_t>(size));
    Put32(bytes, static_cast<uint32_t>(size));
  }
  return bytes;
}

uint32_t CrcOf(const std::string& text) {
  return Crc32(0, reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

TEST(StreamingWalk, EndsStoredDataAtTheFirstDescriptorThatTheCrcFits) {
  const std::string first = "first part";
  const std::string tail = "then more";
  const std::string fits = first + Descriptor(CrcOf(first), 99, false) + tail;
  const std::string by_size = first + Descriptor(0x1234, first.size(), false) + tail;
  const StoredCase cases[] = {
      {"plain data", tail, Descriptor(CrcOf(tail), tail.size(), false), false, false,
       StreamedEntry::kResumes, tail.size() + 16},
      {"zip64 field: 64-bit sizes", tail, Descriptor(CrcOf(tail), tail.size(), true), false, true,
       StreamedEntry::kResumes, tail.size() + 24},
      {"a descriptor inside that the CRC fits", fits, Descriptor(CrcOf(fits), fits.size(), false),
       false, false, StreamedEntry::kEndsElsewhere, 0},
      {"one that only the size fits", by_size, Descriptor(CrcOf(by_size), by_size.size(), false),
       false, false, StreamedEntry::kResumes, by_size.size() + 16},
      {"no signed descriptor after it", tail, Descriptor(CrcOf(tail), tail.size(), false, false),
       false, false, StreamedEntry::kLost, tail.size()},
      {"encrypted, a signature inside", by_size, Descriptor(0, by_size.size(), false), true, false,
       StreamedEntry::kEndsElsewhere, 0},
      {"encrypted, none inside", tail, Descriptor(0, tail.size(), false), true, false,
       StreamedEntry::kResumes, tail.size() + 16},
  };
  for (const StoredCase& c : cases) {
    const std::string bytes = "HEADER" + c.data + c.after + "rest of the archive";
    StringReader reader(bytes);
    WindowedReader window(reader);
    Entry entry;
    entry.name = "a.txt";
    entry.crc = CrcOf(c.data);
    entry.encryption = c.encrypted ? Encryption::kTraditional : Encryption::kNone;
    LocalRecord local;
    local.flags = zip::kFlagDataDescriptor;
    if (c.wide) local.extra = std::string("\x01\x00\x00\x00", 4);
    const StreamedEntry streamed =
        FollowEntry(window, entry, local, 6, 6 + c.data.size(), bytes.size());
    EXPECT_EQ(streamed.outcome, c.outcome) << c.what << ": " << streamed.problem;
    if (c.outcome != StreamedEntry::kEndsElsewhere) {
      EXPECT_EQ(streamed.resume, 6 + c.resume) << c.what;
    }
  }
}

TEST(StreamingWalk, ReadsTheDescriptorOfCompressedDataInTheFormThatTheHeaderAnnounces) {
  for (const auto& [wide, signed_form, length] :
       {std::tuple{false, true, 16}, {false, false, 12}, {true, true, 24}, {true, false, 20}}) {
    const std::string bytes = "HEADER" + std::string(50, 'd') +
                              Descriptor(1, 2, false, signed_form) + std::string(20, 'x');
    StringReader reader(bytes);
    WindowedReader window(reader);
    Entry entry;
    entry.method = zip::kMethodDeflate;
    LocalRecord local;
    local.flags = zip::kFlagDataDescriptor;
    if (wide) local.extra = std::string("\x01\x00\x00\x00", 4);
    const StreamedEntry streamed = FollowEntry(window, entry, local, 6, 56, bytes.size());
    EXPECT_EQ(streamed.outcome, StreamedEntry::kResumes);
    EXPECT_EQ(streamed.resume, 56u + length) << wide << signed_form;
  }
}

// Archives whose bytes between and before the entries a streaming reader reads otherwise than
// a reader of the directory, each refused whole; junk that neither takes for a record, read.
TEST(StreamingWalk, RefusesArchivesThatAStreamingReaderReadsOtherwise) {
  const std::string dd(std::string("PK\x07\x08", 4));
  // A stored entry with bit 3 whose data hold what a streaming reader takes for its
  // descriptor, after 3 bytes: the signature and the CRC of the bytes before it.
  std::string early = "abc" + dd;
  Put32(early, Crc32(0, reinterpret_cast<const unsigned char*>("abc"), 3));
  Put32(early, 3);
  Put32(early, 3);
  // An entry that the directory does not list, at the very start of the file.
  const std::string unlisted = BuildRawZip({{.name = "payload.sh", .data = "2"}});
  const std::string front_entry =
      unlisted.substr(0, 30 + 10 + 1) + testing::TwoEntriesWithoutComment();
  std::string junk_local = "JUNK";
  Put32(junk_local, 0x04034b50);
  testing::ExpectReadings({
      {"stored descriptor inside the data",
       BuildRawZip({{.name = "s", .data = early + "rest", .data_descriptor = true}}),
       "hold a data descriptor after 3 bytes that the CRC of the bytes before it fits"},
      {"local header between entries",
       BuildRawZip({{.name = "a", .data = "1", .after = junk_local}, {.name = "b", .data = "2"}}),
       "between entry a and entry b lie 8 bytes that hold a local header"},
      {"central header after the data",
       BuildRawZip({{.name = "a", .data = "1", .after = std::string("PK\x01\x02", 4)},
                    {.name = "b", .data = "2"}}),
       "a central directory record, where a reader that streams through the archive stops"},
      {"descriptor before the directory",
       BuildRawZip({{.name = "a", .data = "1", .after = dd + std::string(12, '\0')}}),
       "between entry a and the central directory"},
      {"an unlisted entry at the start", front_entry,
       "the file begins with the local header of an entry (payload.sh)"},
      {"junk between entries",
       BuildRawZip({{.name = "a", .data = "1", .after = "-JUNK-"}, {.name = "b", .data = "2"}}),
       ""},
  });
}

}  // namespace
}  // namespace nocunzip::unzip32
