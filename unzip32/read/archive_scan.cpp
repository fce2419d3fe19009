#include "read/archive_scan.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "read/central_directory.h"
#include "read/entry_layout.h"
#include "read/entry_name.h"
#include "read/local_record.h"
#include "read/overlap_check.h"
#include "read/stream_walk.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

ScanResult Problem(ScanResult::Problem problem, std::string message) {
  ScanResult result;
  result.problem = problem;
  result.message = problem == ScanResult::kAmbiguous
                       ? "the archive reads in more than one way, so nothing was extracted: " +
                             std::move(message)
                       : std::move(message);
  return result;
}

ScanResult FromLayout(LayoutProblem problem, std::string message) {
  return Problem(
      problem == LayoutProblem::kAmbiguous ? ScanResult::kAmbiguous : ScanResult::kDamaged,
      std::move(message));
}

ScanResult FromStep(CentralDirectory::Step step, std::string message) {
  return Problem(
      step == CentralDirectory::Step::kAmbiguous ? ScanResult::kAmbiguous : ScanResult::kDamaged,
      std::move(message));
}

ScanResult Overlap(const std::string& first, const std::string& second) {
  return Problem(ScanResult::kOverlap,
                 "entries " + first + " and " + second +
                     " overlap: the archive is damaged or built to exhaust the disk");
}

// The bytes [begin, end) between the entry `before` and what follows (`after`): plain bytes
// are skipped by every reader, a record signature is not.
std::optional<ScanResult> CheckGap(WindowedReader& reader, uint64_t begin, uint64_t end,
                                   const std::string& before, const std::string& after) {
  uint64_t where = 0;
  std::string meaning;
  if (begin >= end || !FindRecordSignature(reader, begin, end, &where, &meaning)) {
    return std::nullopt;
  }
  return Problem(ScanResult::kAmbiguous, "between entry " + before + " and " + after + " lie " +
                                             std::to_string(end - begin) + " bytes that hold " +
                                             meaning);
}

// Whether the number of entries read is the one that the end records give: in full with
// zip64 records, else in its low 16 bits (writers that know no zip64 let it wrap).
std::optional<ScanResult> CheckCount(const ArchiveEnd& end, uint64_t count) {
  const bool agrees =
      end.zip64 ? count == end.entry_count : (count & 0xFFFF) == (end.entry_count & 0xFFFF);
  if (agrees) return std::nullopt;
  return Problem(ScanResult::kAmbiguous,
                 "the end record counts " + std::to_string(end.entry_count) +
                     " entries, the central directory holds " + std::to_string(count) +
                     ": readers that go by the count see other entries");
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

// The check for archives whose entries are not in file order: every range at once, sorted,
// then the overlaps and the bytes between them.
ScanResult CheckUnordered(ByteReader& reader, const ArchiveEnd& end) {
  std::vector<EntryRange> ranges;
  ranges.reserve(static_cast<size_t>(end.directory_size / zip::kCentralHeaderSize));
  CentralDirectory directory(reader, end);
  WindowedReader window(reader);
  LocalRecord local;
  Entry entry;
  EntryLayout layout;
  std::string problem;
  while (directory.Next(&entry, &problem) == CentralDirectory::Step::kEntry) {
    LayOutEntry(window, entry, directory.extra(), end.directory_offset, &local, &layout, &problem);
    ranges.push_back({layout.begin, layout.end, entry.index});
  }
  EntryRange first, second;
  std::string first_name, second_name;
  if (FindOverlap(ranges, &first, &second)) {
    NamesOf(reader, end, first.index, second.index, &first_name, &second_name);
    return Overlap(first_name, second_name);
  }
  for (size_t i = 0; i < ranges.size(); ++i) {
    const bool last = i + 1 == ranges.size();
    const uint64_t next = last ? end.directory_offset : ranges[i + 1].begin;
    if (ranges[i].end >= next || !CheckGap(window, ranges[i].end, next, "", "")) continue;
    NamesOf(reader, end, ranges[i].index, last ? ranges[i].index : ranges[i + 1].index, &first_name,
            &second_name);
    return *CheckGap(window, ranges[i].end, next, first_name,
                     last ? std::string("the central directory") : "entry " + second_name);
  }
  return {};
}

// The scan of entries that come in file order, as nearly all archives' do, with constant
// memory (the names' index aside): each entry against the one before it.
class Scanner {
 public:
  Scanner(ByteReader& reader, const ArchiveEnd& end) : reader_(reader), end_(end), window_(reader) {
    names_.Reserve(end);
  }
  ScanResult Run(const std::function<void(const Entry&)>& visit);

 private:
  std::optional<ScanResult> Place(const Entry& entry, std::string_view extra);
  ScanResult Finish(uint64_t count);

  ByteReader& reader_;
  const ArchiveEnd& end_;
  WindowedReader window_;
  LocalRecord local_;
  InOrderOverlapCheck overlaps_;
  bool in_order_ = true;
  std::string last_name_;
  uint64_t first_local_ = UINT64_MAX;  // the lowest local header of a listed entry
  NameCollisions names_;
};

// Bytes in front of the first listed entry are the stub of a self-extracting archive or
// other data, which readers skip; but where the file itself begins with a local header, a
// reader that streams from the front reads an entry there that the directory does not list.
std::optional<ScanResult> CheckFront(WindowedReader& reader, uint64_t first_local) {
  unsigned char signature[4];
  if (first_local < sizeof signature || !reader.Read(0, signature, sizeof signature) ||
      Get32(signature) != zip::kLocalHeaderSignature) {
    return std::nullopt;
  }
  LocalRecord front;
  std::string problem;
  const std::string name = ReadLocalRecord(reader, 0, first_local, "", &front, &problem)
                               ? " (" + DecodeEntryName(front.raw_name, front.flags, {}) + ")"
                               : "";
  return Problem(ScanResult::kAmbiguous,
                 "the file begins with the local header of an entry" + name +
                     " that the central directory does not list: a reader that streams from "
                     "the front reads it, a reader of the directory does not");
}

std::optional<ScanResult> Scanner::Place(const Entry& entry, std::string_view extra) {
  if (entry.is_directory && entry.uncompressed_size > 0) {
    return Problem(ScanResult::kAmbiguous,
                   "entry " + entry.name + " is marked as a directory but holds " +
                       std::to_string(entry.uncompressed_size) +
                       " bytes: some readers make a directory of it, others a file");
  }
  EntryLayout layout;
  std::string problem;
  const LayoutProblem laid_out =
      LayOutEntry(window_, entry, extra, end_.directory_offset, &local_, &layout, &problem);
  if (laid_out == LayoutProblem::kDamaged) return FromLayout(laid_out, problem);
  first_local_ = std::min(first_local_, layout.begin);
  // Entries that share bytes are told as such even where their headers disagree too.
  const auto ambiguous = [&]() -> std::optional<ScanResult> {
    if (laid_out == LayoutProblem::kNone) return std::nullopt;
    return FromLayout(laid_out, problem);
  };
  if (!in_order_) return ambiguous();
  EntryRange previous, other;
  const bool any = overlaps_.Last(&previous);
  switch (overlaps_.Add({layout.begin, layout.end, entry.index}, &other)) {
    case InOrderOverlapCheck::Verdict::kFine:
      break;
    case InOrderOverlapCheck::Verdict::kOverlap:
      return Overlap(last_name_, entry.name);
    case InOrderOverlapCheck::Verdict::kOutOfOrder:
      in_order_ = false;
      return ambiguous();
  }
  if (laid_out != LayoutProblem::kNone) return ambiguous();
  if (any && previous.end < layout.begin) {
    if (auto gap =
            CheckGap(window_, previous.end, layout.begin, last_name_, "entry " + entry.name)) {
      return gap;
    }
  }
  last_name_ = entry.name;
  return std::nullopt;
}

ScanResult Scanner::Finish(uint64_t count) {
  if (auto wrong = CheckCount(end_, count)) return *wrong;
  if (auto front = CheckFront(window_, std::min(first_local_, end_.directory_offset))) {
    return *front;
  }
  if (!in_order_) {
    ScanResult unordered = CheckUnordered(reader_, end_);
    if (!unordered.ok()) return unordered;
  } else if (EntryRange last; overlaps_.Last(&last)) {
    if (auto gap = CheckGap(window_, last.end, end_.directory_offset, last_name_,
                            "the central directory")) {
      return *gap;
    }
  }
  ScanResult result;
  std::string problem;
  if (!names_.Check(reader_, end_, &result.case_twins, &problem)) {
    return Problem(ScanResult::kAmbiguous, problem);
  }
  return result;
}

ScanResult Scanner::Run(const std::function<void(const Entry&)>& visit) {
  CentralDirectory directory(reader_, end_);
  Entry entry;
  std::string problem;
  uint64_t count = 0;
  for (;; ++count) {
    const CentralDirectory::Step step = directory.Next(&entry, &problem);
    if (step == CentralDirectory::Step::kEnd) break;
    if (step != CentralDirectory::Step::kEntry) return FromStep(step, problem);
    visit(entry);
    if (auto placed = Place(entry, directory.extra())) return *placed;
    names_.Add(entry);
  }
  return Finish(count);
}

}  // namespace

ScanResult ScanArchive(ByteReader& reader, const ArchiveEnd& end,
                       const std::function<void(const Entry&)>& visit) {
  Scanner scanner(reader, end);
  return scanner.Run(visit);
}

}  // namespace nocunzip::unzip32
