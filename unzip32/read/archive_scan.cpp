#include "read/archive_scan.h"

#include <vector>

#include "read/central_directory.h"
#include "read/local_header.h"
#include "read/overlap_check.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

ScanResult Problem(ScanResult::Problem problem, std::string message) {
  ScanResult result;
  result.problem = problem;
  result.message = std::move(message);
  return result;
}

ScanResult Overlap(const std::string& first, const std::string& second) {
  return Problem(ScanResult::kOverlap,
                 "entries " + first + " and " + second +
                     " overlap: the archive is damaged or built to exhaust the disk");
}

// The names of entries `a` and `b`, read again from the directory.
void NamesOf(ByteReader& reader, const ArchiveEnd& end, uint64_t a, uint64_t b, std::string* name_a,
             std::string* name_b) {
  CentralDirectory directory(reader, end);
  Entry entry;
  std::string problem;
  while (directory.Next(&entry, &problem) == CentralDirectory::Step::kEntry) {
    if (entry.index == a) *name_a = entry.name;
    if (entry.index == b) *name_b = entry.name;
  }
}

// The check for archives whose entries are not in file order: every range at once.
ScanResult CheckUnordered(ByteReader& reader, const ArchiveEnd& end) {
  std::vector<EntryRange> ranges;
  ranges.reserve(static_cast<size_t>(end.directory_size / zip::kCentralHeaderSize));
  CentralDirectory directory(reader, end);
  WindowedReader window(reader);
  Entry entry;
  EntryData data;
  std::string problem;
  while (directory.Next(&entry, &problem) == CentralDirectory::Step::kEntry) {
    if (!FindEntryData(window, entry, end.directory_offset, &data, &problem)) break;
    ranges.push_back({entry.local_offset, data.end, entry.index});
  }
  EntryRange first, second;
  if (!FindOverlap(ranges, &first, &second)) return {};
  std::string first_name, second_name;
  NamesOf(reader, end, first.index, second.index, &first_name, &second_name);
  return Overlap(first_name, second_name);
}

}  // namespace

ScanResult ScanArchive(ByteReader& reader, const ArchiveEnd& end,
                       const std::function<void(const Entry&)>& visit) {
  CentralDirectory directory(reader, end);
  WindowedReader window(reader);
  InOrderOverlapCheck overlaps;
  bool in_order = true;
  Entry entry;
  std::string last_name;
  std::string problem;
  for (;;) {
    const CentralDirectory::Step step = directory.Next(&entry, &problem);
    if (step == CentralDirectory::Step::kEnd) break;
    if (step == CentralDirectory::Step::kDamaged) return Problem(ScanResult::kDamaged, problem);
    visit(entry);
    EntryData data;
    if (!FindEntryData(window, entry, end.directory_offset, &data, &problem)) {
      return Problem(ScanResult::kDamaged, problem);
    }
    if (in_order) {
      EntryRange other;
      switch (overlaps.Add({entry.local_offset, data.end, entry.index}, &other)) {
        case InOrderOverlapCheck::Verdict::kFine:
          break;
        case InOrderOverlapCheck::Verdict::kOverlap:
          return Overlap(last_name, entry.name);
        case InOrderOverlapCheck::Verdict::kOutOfOrder:
          in_order = false;
          break;
      }
      last_name = entry.name;
    }
  }
  return in_order ? ScanResult{} : CheckUnordered(reader, end);
}

}  // namespace nocunzip::unzip32
