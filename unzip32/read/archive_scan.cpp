#include "read/archive_scan.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <vector>

#include "read/central_directory.h"
#include "read/entry_layout.h"
#include "read/entry_name.h"
#include "read/overlap_check.h"
#include "read/streaming_walk.h"
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

std::optional<ScanResult> Ambiguous(std::optional<std::string> problem) {
  if (!problem) return std::nullopt;
  return Problem(ScanResult::kAmbiguous, std::move(*problem));
}

ScanResult Overlap(const std::string& first, const std::string& second) {
  return Problem(ScanResult::kOverlap,
                 "entries " + first + " and " + second +
                     " overlap: the archive is damaged or built to exhaust the disk");
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
    StreamingWalk walk(window);  // in directory order: each entry walked on its own
    uint64_t resume = layout.end;
    if (auto walked = Ambiguous(walk.Follow(entry, local, layout, end.directory_offset, &resume))) {
      return *walked;
    }
    ranges.push_back({layout.begin, layout.end, entry.index, resume});
  }
  EntryRange first, second;
  std::string first_name, second_name;
  if (FindOverlap(ranges, &first, &second)) {
    NamesOf(reader, end, first.index, second.index, &first_name, &second_name);
    return Overlap(first_name, second_name);
  }
  StreamingWalk walk(window);
  for (size_t i = 0; i < ranges.size(); ++i) {
    const bool last = i + 1 == ranges.size();
    const Gap gap{ranges[i].resume, ranges[i].end,
                  last ? end.directory_offset : ranges[i + 1].begin};
    if (!walk.CheckGap(gap, "", "")) continue;
    NamesOf(reader, end, ranges[i].index, last ? ranges[i].index : ranges[i + 1].index, &first_name,
            &second_name);
    return *Ambiguous(walk.CheckGap(
        gap, first_name, last ? std::string("the central directory") : "entry " + second_name));
  }
  return {};
}

// The scan of entries that come in file order, as nearly all archives' do, with constant
// memory (the names' index aside): each entry against the one before it, and the walk of a
// streaming reader from entry to entry.
class Scanner {
 public:
  Scanner(ByteReader& reader, const ArchiveEnd& end)
      : reader_(reader), end_(end), window_(reader), walk_(window_) {
    names_.Reserve(end);
  }
  ScanResult Run(const std::function<void(const Entry&)>& visit);

 private:
  // Lays out `entry` and checks it against the entry before it; the problem, if any.
  std::optional<ScanResult> CheckEntry(const Entry& entry, std::string_view extra);
  ScanResult Finish(uint64_t count);

  ByteReader& reader_;
  const ArchiveEnd& end_;
  WindowedReader window_;
  LocalRecord local_;
  InOrderOverlapCheck overlaps_;
  bool in_order_ = true;
  std::string last_name_;
  uint64_t first_local_ = UINT64_MAX;  // the lowest local header of a listed entry
  StreamingWalk walk_;
  NameCollisions names_;
};

std::optional<ScanResult> Scanner::CheckEntry(const Entry& entry, std::string_view extra) {
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
  uint64_t resume = layout.end;
  if (laid_out == LayoutProblem::kNone) {
    if (auto walked =
            Ambiguous(walk_.Follow(entry, local_, layout, end_.directory_offset, &resume))) {
      return walked;
    }
  }
  switch (overlaps_.Add({layout.begin, layout.end, entry.index, resume}, &other)) {
    case InOrderOverlapCheck::Verdict::kFine:
      break;
    case InOrderOverlapCheck::Verdict::kOverlap:
      return Overlap(last_name_, entry.name);
    case InOrderOverlapCheck::Verdict::kOutOfOrder:
      in_order_ = false;
      return ambiguous();
  }
  if (laid_out != LayoutProblem::kNone) return ambiguous();
  if (any) {
    const Gap gap{previous.resume, previous.end, layout.begin};
    if (auto found = Ambiguous(walk_.CheckGap(gap, last_name_, "entry " + entry.name))) {
      return found;
    }
  }
  last_name_ = entry.name;
  return std::nullopt;
}

ScanResult Scanner::Finish(uint64_t count) {
  if (auto wrong = CheckCount(end_, count)) return *wrong;
  if (auto front = Ambiguous(walk_.CheckFront(std::min(first_local_, end_.directory_offset)))) {
    return *front;
  }
  if (!in_order_) {
    ScanResult unordered = CheckUnordered(reader_, end_);
    if (!unordered.ok()) return unordered;
  } else if (EntryRange last; overlaps_.Last(&last)) {
    const Gap gap{last.resume, last.end, end_.directory_offset};
    if (auto found = Ambiguous(walk_.CheckGap(gap, last_name_, "the central directory"))) {
      return *found;
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
    if (auto problem_found = CheckEntry(entry, directory.extra())) return *problem_found;
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
