// The reader of the ZIP container as its tests drive it: end records, the first pass and where
// each entry's data lie, on archives built byte by byte (test_archive.h), and the pieces that
// such archives are patched with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "read/entry.h"

namespace nocunzip::unzip32::testing {

// What the reader makes of an archive: the first problem, or every entry with the bytes of
// its data.
struct ReadBack {
  std::string problem;  // empty when the archive reads
  std::vector<Entry> entries;
  std::vector<std::string> data;
  std::string comment;
};
ReadBack ReadArchive(const std::string& bytes);

// An archive that has one reading (`says` empty), or that is refused as reading in more than
// one way with a message that holds `says`.
struct ReadingCase {
  const char* what;
  std::string bytes;
  const char* says;
};
void ExpectReadings(const std::vector<ReadingCase>& cases);

// An extra field of `id` holding `data`.
std::string ExtraField(uint16_t id, const std::string& data);
// A Unicode path field (0x7075) that names the entry stored as `raw_name` `name`.
std::string UnicodePathField(const std::string& raw_name, const std::string& name,
                             char version = 1);
// Writes `value` at `at` of `bytes`, lowest byte first.
void Patch16(std::string& bytes, size_t at, uint16_t value);
// The zip64 end record and locator that a writer puts before the classic end record of
// `archive` (built without comment), with the values `count`, and the locator pointing
// `locator_moved` bytes away from the record.
std::string WithZip64Records(const std::string& archive, uint64_t count, int64_t locator_moved = 0);
// Two entries, a.txt ("aaaa", stored) and dir/b.txt ("bbbbbbbb", deflated), with the comment
// "comment".
const std::string& TwoEntries();
// The same without its comment.
std::string TwoEntriesWithoutComment();

}  // namespace nocunzip::unzip32::testing
