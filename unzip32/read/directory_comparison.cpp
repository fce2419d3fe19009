#include "read/directory_comparison.h"

#include "read/central_directory.h"

namespace nocunzip::unzip32 {
namespace {

bool SameEntry(const Entry& a, const Entry& b) {
  return a.name == b.name && a.local_offset == b.local_offset && a.method == b.method &&
         a.recorded_method == b.recorded_method && a.flags == b.flags && a.crc == b.crc &&
         a.compressed_size == b.compressed_size && a.uncompressed_size == b.uncompressed_size &&
         a.external_attributes == b.external_attributes && a.is_directory == b.is_directory;
}

std::string Shown(CentralDirectory::Step step, const Entry& entry) {
  switch (step) {
    case CentralDirectory::Step::kEntry:
      return entry.name;
    case CentralDirectory::Step::kEnd:
      return "nothing";
    default:
      return "a damaged record";
  }
}

}  // namespace

bool SameEntries(ByteReader& reader, const ArchiveEnd& a, const ArchiveEnd& b,
                 std::string* difference) {
  CentralDirectory first(reader, a);
  CentralDirectory second(reader, b);
  Entry entry_a, entry_b;
  std::string problem;
  for (uint64_t number = 1;; ++number) {
    const CentralDirectory::Step step_a = first.Next(&entry_a, &problem);
    const CentralDirectory::Step step_b = second.Next(&entry_b, &problem);
    const bool both_entries =
        step_a == CentralDirectory::Step::kEntry && step_b == CentralDirectory::Step::kEntry;
    if (step_a == CentralDirectory::Step::kEnd && step_b == CentralDirectory::Step::kEnd) {
      return true;
    }
    if (both_entries && SameEntry(entry_a, entry_b)) continue;
    *difference = "entry " + std::to_string(number) + " is " + Shown(step_a, entry_a) +
                  " in one, " + Shown(step_b, entry_b) + " in the other";
    if (both_entries && entry_a.name == entry_b.name) {
      *difference += " with other data";
    }
    return false;
  }
}

}  // namespace nocunzip::unzip32
