#include "read/archive_scan.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "read/central_directory.h"
#include "read/duplicate_index.h"
#include "read/entry_layout.h"
#include "read/entry_name.h"
#include "read/streaming_walk.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

// Checks that no two entries share bytes of the archive: the "overlapped files" kind of ZIP
// bomb lets thousands of names share one compressed stream. Each entry occupies its local
// header and its data. Archives whose entries come in file order, as nearly all do, are
// checked entry by entry with constant memory; others need every range at once.
struct EntryRange {
  uint64_t begin = 0;  // the local header
  uint64_t end = 0;    // one past the data
  uint64_t index = 0;  // of the entry in the central directory
  // Where a reader that streams through the archive goes on after the entry.
  uint64_t resume = 0;
};

class InOrderOverlapCheck {
 public:
  enum class Verdict { kFine, kOverlap, kOutOfOrder };
  // Takes the next entry's range; on kOverlap `other` is the entry it overlaps. kOutOfOrder
  // means the entries do not come in file order: check them with FindOverlap instead.
  Verdict Add(const EntryRange& range, EntryRange* other);
  // The range that Add took last; false before the first.
  bool Last(EntryRange* range) const {
    *range = last_;
    return any_;
  }

 private:
  bool any_ = false;
  EntryRange last_;
};

// Two overlapping ranges of `ranges` (sorted in place by their beginning), if there are any.
bool FindOverlap(std::vector<EntryRange>& ranges, EntryRange* first, EntryRange* second);

InOrderOverlapCheck::Verdict InOrderOverlapCheck::Add(const EntryRange& range, EntryRange* other) {
  if (any_ && range.begin < last_.begin) return Verdict::kOutOfOrder;
  if (any_ && range.begin < last_.end) {
    *other = last_;
    return Verdict::kOverlap;
  }
  any_ = true;
  last_ = range;
  return Verdict::kFine;
}

bool FindOverlap(std::vector<EntryRange>& ranges, EntryRange* first, EntryRange* second) {
  std::sort(ranges.begin(), ranges.end(),
            [](const EntryRange& a, const EntryRange& b) { return a.begin < b.begin; });
  for (size_t i = 1; i < ranges.size(); ++i) {
    if (ranges[i].begin < ranges[i - 1].end) {
      *first = ranges[i - 1];
      *second = ranges[i];
      return true;
    }
  }
  return false;
}

// Finds the entries whose names stand for one path (NormalisedPath): two of them make what an
// extractor writes depend on which one it takes last, so the archive has no one reading.
// A name with ".." components counts with the paths that other readers make of it
// (PathsWithoutDotDot): the library refuses it, they write it over the entry of that path.
// On Windows, names that differ only in case meet in the file system but not in the
// archive: those pairs are reported instead, for the extraction's overwrite rules.
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

using Seen = NameCollisions::Seen;

// The earlier of two entries, either of which may be missing.
const Seen* Earlier(const Seen* a, const Seen* b) {
  if (a == nullptr) return b;
  if (b == nullptr) return a;
  return a->index < b->index ? a : b;
}

// The first of `firsts` (the first two entries of distinct spellings) spelled otherwise
// than `path`.
const Seen* FirstSpelledOtherwise(const std::vector<Seen>& firsts, const std::string& path) {
  for (const Seen& seen : firsts) {
    if (seen.path != path) return &seen;
  }
  return nullptr;
}

void KeepAmongFirstTwo(std::vector<Seen>* firsts, const Seen& entry) {
  if (firsts->size() < 2 && (firsts->empty() || firsts->front().path != entry.path)) {
    firsts->push_back(entry);
  }
}

std::string DottedProblem(const std::string& dotted_name, const std::string& path,
                          const std::string& other_name) {
  return "entry " + dotted_name + " names the path " + path + " of entry " + other_name +
         " for readers that drop or resolve its \"..\" components: which of them an extractor "
         "writes depends on the extractor";
}

const Seen* PointerTo(const std::optional<Seen>& seen) { return seen ? &*seen : nullptr; }

void NameCollisions::Reserve(const ArchiveEnd& end) {
  const uint64_t room = end.directory_size / zip::kCentralHeaderSize;
  index_.Reserve(static_cast<size_t>(std::min(end.entry_count, room)));
}

void NameCollisions::Add(const Entry& entry) {
  // Names of the target itself ("." and the like) name no path to collide on; they are
  // numbered all the same, so that numbers stay directory indexes.
  const std::string path = NormalisedPath(entry.name);
  index_.Add(entry.index, HashKey(FileSystemKey(path)));
  for (const std::string& other : PathsWithoutDotDot(path)) {
    index_.Add(entry.index, HashKey(FileSystemKey(other)));
  }
}

bool NameCollisions::Check(ByteReader& reader, const ArchiveEnd& end, std::vector<CaseTwin>* twins,
                           std::string* problem) {
  if (!index_.Seal()) return true;
  CentralDirectory directory(reader, end);
  Entry entry;
  std::string ignored;
  while (directory.Next(&entry, &ignored) == CentralDirectory::Step::kEntry) {
    if (!index_.IsSuspect(entry.index)) continue;
    const std::string path = NormalisedPath(entry.name);
    if (path.empty()) continue;
    if (!CheckPath(entry, path, twins, problem)) return false;
    for (const std::string& other : PathsWithoutDotDot(path)) {
      if (!CheckDotted(entry, other, problem)) return false;
    }
  }
  return true;
}

// Two directory entries of one path make one directory, whichever a reader takes: only
// pairs with a file count.
bool NameCollisions::CheckPath(const Entry& entry, const std::string& path,
                               std::vector<CaseTwin>* twins, std::string* problem) {
  SameKey& same = index_.Confirm(FileSystemKey(path));
  const Seen self{entry.index, entry.is_directory, entry.name, path};
  const auto [first, is_first] = same.first_of_path.try_emplace(path, self);
  if (!is_first && !(first->second.is_directory && entry.is_directory)) {
    *problem = "entries " + first->second.name + " and " + entry.name + " both name the path " +
               path + ": which of them an extractor writes depends on the extractor";
    return false;
  }
  const Seen* dotted = entry.is_directory
                           ? PointerTo(same.dotted_file)
                           : Earlier(PointerTo(same.dotted_file), PointerTo(same.dotted_directory));
  if (dotted != nullptr) {
    *problem = DottedProblem(dotted->name, path, entry.name);
    return false;
  }
  const Seen* twin = FirstSpelledOtherwise(same.files, path);
  if (!entry.is_directory) twin = Earlier(twin, FirstSpelledOtherwise(same.directories, path));
  if (twin != nullptr) twins->push_back({entry.index, twin->name});
  KeepAmongFirstTwo(entry.is_directory ? &same.directories : &same.files, self);
  return true;
}

bool NameCollisions::CheckDotted(const Entry& entry, const std::string& path,
                                 std::string* problem) {
  SameKey& same = index_.Confirm(FileSystemKey(path));
  const Seen* file = same.files.empty() ? nullptr : &same.files.front();
  const Seen* directory = same.directories.empty() ? nullptr : &same.directories.front();
  const Seen* earlier = entry.is_directory ? file : Earlier(file, directory);
  if (earlier != nullptr) {
    *problem = DottedProblem(entry.name, path, earlier->name);
    return false;
  }
  std::optional<Seen>& slot = entry.is_directory ? same.dotted_directory : same.dotted_file;
  if (!slot) slot = Seen{entry.index, entry.is_directory, entry.name, path};
  return true;
}

ScanResult Problem(ScanResult::Problem problem, std::string message) {
  ScanResult result;
  result.problem = problem;
  result.message =
      problem == ScanResult::kAmbiguous ? ReadsInMoreThanOneWay(message) : std::move(message);
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
  // At most one range for each smallest record that the directory can hold: one allocation.
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
  ScanResult ScanEveryRecord(const std::function<void(const Entry&)>& visit);

 private:
  // Lays out `entry` and checks it against the entry before it; the problem, if any.
  std::optional<ScanResult> CheckEntry(const Entry& entry, std::string_view extra);
  ScanResult CheckAfterTheLastEntry(uint64_t count);

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

ScanResult Scanner::CheckAfterTheLastEntry(uint64_t count) {
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

ScanResult Scanner::ScanEveryRecord(const std::function<void(const Entry&)>& visit) {
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
  return CheckAfterTheLastEntry(count);
}

}  // namespace

ScanResult ScanArchive(ByteReader& reader, const ArchiveEnd& end,
                       const std::function<void(const Entry&)>& visit) {
  Scanner scanner(reader, end);
  return scanner.ScanEveryRecord(visit);
}

}  // namespace nocunzip::unzip32
