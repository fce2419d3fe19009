// Finds the entries whose names stand for one path (entry_key.h): two of them make what an
// extractor writes depend on which one it takes last, so the archive has no one reading.
// A name with ".." components counts with the paths that other readers make of it
// (PathsWithoutDotDot): the library refuses it, they write it over the entry of that path.
// On Windows, names that differ only in case meet in the file system but not in the
// archive: those pairs are reported instead, for the extraction's overwrite rules.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "read/byte_reader.h"
#include "read/duplicate_index.h"
#include "read/end_records.h"
#include "read/entry.h"

namespace nocunzip::unzip32 {

// Two entries whose paths differ only in case, on a system whose file systems ignore case.
struct CaseTwin {
  uint64_t index = 0;        // the later entry
  std::string earlier_name;  // the name of the earlier one
};

class NameCollisions {
 public:
  // Room for the entries that the end records count, as far as the directory can hold them.
  void Reserve(const ArchiveEnd& end);
  // Each entry of the directory, in its order (16 bytes an entry, 16 more for each path of
  // a name with "..").
  void Add(const Entry& entry);
  // After the last Add: reads the directory of `end` again for the entries whose hashes
  // meet. False, with the reason in `problem`, when two entries name one path; the pairs
  // that differ only in case go to `twins`.
  bool Check(ByteReader& reader, const ArchiveEnd& end, std::vector<CaseTwin>* twins,
             std::string* problem);

  // What the second pass keeps of an entry.
  struct Seen {
    uint64_t index = 0;
    bool is_directory = false;
    std::string name;
    std::string path;  // normalised
  };
  // What it keeps of the entries under one file-system key: enough to hold each new one
  // against all the earlier ones at once, however many they are.
  struct SameKey {
    std::unordered_map<std::string, Seen> first_of_path;  // by spelling
    std::vector<Seen> files, directories;  // the first two of other spellings, for case twins
    std::optional<Seen> dotted_file, dotted_directory;  // names with ".." that lead here
  };

 private:
  bool CheckPath(const Entry& entry, const std::string& path, std::vector<CaseTwin>* twins,
                 std::string* problem);
  bool CheckDotted(const Entry& entry, const std::string& path, std::string* problem);

  DuplicateIndex<SameKey> index_;
};

}  // namespace nocunzip::unzip32
