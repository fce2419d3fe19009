#include "testing/read_back.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "read/archive_scan.h"
#include "read/end_records.h"
#include "read/entry_layout.h"
#include "read/zip_format.h"
#include "testing/test_archive.h"

namespace nocunzip::unzip32::testing {

ReadBack ReadArchive(const std::string& bytes) {
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

void ExpectReadings(const std::vector<ReadingCase>& cases) {
  for (const ReadingCase& c : cases) {
    const ReadBack back = ReadArchive(c.bytes);
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

std::string ExtraField(uint16_t id, const std::string& data) {
  std::string out;
  Put16(out, id);
  Put16(out, data.size());
  return out + data;
}

std::string UnicodePathField(const std::string& raw_name, const std::string& name, char version) {
  std::string field(1, version);
  Put32(field, crc32(0, reinterpret_cast<const Bytef*>(raw_name.data()), raw_name.size()));
  return ExtraField(0x7075, field + name);
}

void Patch16(std::string& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

std::string WithZip64Records(const std::string& archive, uint64_t count, int64_t locator_moved) {
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

const std::string& TwoEntries() {
  static const std::string two =
      BuildRawZip({{.name = "a.txt", .data = "aaaa"},
                   {.name = "dir/b.txt", .data = "bbbbbbbb", .deflate = true}},
                  "comment");
  return two;
}

std::string TwoEntriesWithoutComment() {
  std::string bytes = TwoEntries().substr(0, TwoEntries().size() - 7);
  Patch16(bytes, bytes.size() - 22 + 20, 0);
  return bytes;
}

}  // namespace nocunzip::unzip32::testing
