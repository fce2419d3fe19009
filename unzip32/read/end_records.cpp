#include "read/end_records.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "read/directory_comparison.h"
#include "read/end_record_reading.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

using namespace zip;

ArchiveEnd Fail(EndProblem problem, std::string message) {
  ArchiveEnd end;
  end.problem = problem;
  end.message = problem == EndProblem::kAmbiguous
                    ? "the archive reads in more than one way, so nothing was extracted: " +
                          std::move(message)
                    : std::move(message);
  return end;
}

ArchiveEnd EncryptedDirectory() {
  return Fail(EndProblem::kEncrypted,
              "the central directory is encrypted (strong encryption), which is not supported");
}

ArchiveEnd NotZip() {
  return Fail(EndProblem::kNotZip,
              "no end of central directory found: not a ZIP archive, or a truncated one");
}

// Whether the data of the archive begins with a local header that says its central directory
// is encrypted (strong encryption): then no directory can be found.
bool LooksEncrypted(ByteReader& reader) {
  unsigned char local[kLocalHeaderSize];
  if (!reader.ReadAt(0, local, sizeof local) || Get32(local) != kLocalHeaderSignature) return false;
  return (Get16(local + 6) & (kFlagStrongEncryption | kFlagMaskedDirectory)) != 0;
}

// The end records that some reader takes, in the order in which this reader prefers them:
// those whose comment reaches the end of the file or holds the last record (earliest first:
// a record quoted inside another's comment lies after it), the last one in the file, and the
// last one that leads to a directory.
class EndRecordChoice {
 public:
  EndRecordChoice(ByteReader& reader, std::vector<unsigned char> tail, uint64_t tail_start)
      : reader_(reader), tail_(std::move(tail)), tail_start_(tail_start) {
    for (size_t at = 0; at + kEndSize <= tail_.size(); ++at) {
      if (Get32(tail_.data() + at) == kEndSignature) records_.push_back(at);
    }
  }

  bool any() const { return !records_.empty(); }
  // Whether the last end record in the file, the one that readers which search from the end
  // take first, leads to a directory. Valid after Follow.
  bool LastLeads() const {
    for (const auto& [at, led] : taken_) {
      if (at == records_.back()) return led;
    }
    return false;
  }
  // Whether a record that holds the last one in its comment leads to no directory while the
  // last one does: readers that take the outer record find nothing where others read the
  // inner one. Valid after Follow.
  bool OuterLeadsNowhere() const {
    for (const auto& [at, led] : taken_) {
      if (!led && Quotes(at, records_.back())) return LastLeads();
    }
    return false;
  }
  // Follows the records that readers take; the first problem that one of them has stops it.
  void Follow();

  std::vector<ArchiveEnd> readings;
  std::vector<ArchiveEnd> partial_readings;  // see EndRecordReadings
  EndProblem problem = EndProblem::kNone;
  std::string message;
  bool several_disks = false;

 private:
  // Adds the readings of the record at `at`; false when it leads to none.
  bool Take(size_t at);
  size_t CommentEnd(size_t at) const { return at + kEndSize + Get16(tail_.data() + at + 20); }
  // Whether the record at `outer` holds the whole record at `inner` in its comment.
  bool Quotes(size_t outer, size_t inner) const {
    return outer < inner && CommentEnd(outer) >= inner + kEndSize;
  }

  ByteReader& reader_;
  std::vector<unsigned char> tail_;
  uint64_t tail_start_;
  std::vector<size_t> records_;
  std::vector<std::pair<size_t, bool>> taken_;  // records read, and whether they led anywhere
};

bool EndRecordChoice::Take(size_t at) {
  for (const auto& [taken_at, led] : taken_) {
    if (taken_at == at) return led;
  }
  EndRecordReadings found = ReadEndRecord(reader_, tail_, tail_start_, at);
  taken_.emplace_back(at, !found.readings.empty());
  several_disks = several_disks || found.several_disks;
  if (found.problem != EndProblem::kNone && problem == EndProblem::kNone) {
    problem = found.problem;
    message = found.message;
  }
  readings.insert(readings.end(), found.readings.begin(), found.readings.end());
  partial_readings.insert(partial_readings.end(), found.partial_readings.begin(),
                          found.partial_readings.end());
  return !found.readings.empty();
}

void EndRecordChoice::Follow() {
  // Records whose comment reaches the end of the file or holds the last record (junk may
  // follow both): readers that search from the start or check comment lengths take them.
  for (const size_t at : records_) {
    if (CommentEnd(at) == tail_.size() || Quotes(at, records_.back())) Take(at);
  }
  Take(records_.back());
  for (auto at = records_.rbegin(); at != records_.rend() && problem == EndProblem::kNone; ++at) {
    if (Take(*at)) break;
  }
}

bool SameReading(const ArchiveEnd& a, const ArchiveEnd& b) {
  return a.directory_offset == b.directory_offset && a.directory_size == b.directory_size &&
         a.shift == b.shift && a.entry_count == b.entry_count && a.zip64 == b.zip64;
}

// The first reading, when every other one, partial ones included, lists the same entries.
ArchiveEnd OneReading(ByteReader& reader, std::vector<ArchiveEnd> readings,
                      const std::vector<ArchiveEnd>& partial_readings) {
  readings.insert(readings.end(), partial_readings.begin(), partial_readings.end());
  const ArchiveEnd& first = readings.front();
  for (const ArchiveEnd& other : readings) {
    if (SameReading(first, other)) continue;
    std::string difference;
    if (!SameEntries(reader, first, other, &difference)) {
      return Fail(EndProblem::kAmbiguous,
                  "the archive holds two end records or central directories that list "
                  "different entries (" +
                      difference +
                      "): readers that take the one see other files than "
                      "those that take the other");
    }
    if ((first.entry_count & 0xFFFF) != (other.entry_count & 0xFFFF)) {
      return Fail(EndProblem::kAmbiguous, "the archive holds two end records that count " +
                                              std::to_string(first.entry_count) + " and " +
                                              std::to_string(other.entry_count) + " entries");
    }
  }
  return first;
}

}  // namespace

ArchiveEnd FindArchiveEnd(ByteReader& reader) {
  const uint64_t size = reader.size();
  if (size == 0) return Fail(EndProblem::kEmptyFile, "the file is empty");
  const uint64_t tail_size = std::min<uint64_t>(size, kEndSize + kMaxCommentSize);
  const uint64_t tail_start = size - tail_size;
  std::vector<unsigned char> tail(static_cast<size_t>(tail_size));
  if (tail.size() < kEndSize || !reader.ReadAt(tail_start, tail.data(), tail.size())) {
    return NotZip();
  }
  EndRecordChoice choice(reader, std::move(tail), tail_start);
  if (!choice.any()) return NotZip();
  choice.Follow();
  // An encrypted directory comes with zip64 records of its own kind: say what it is.
  if (choice.problem != EndProblem::kNone && LooksEncrypted(reader)) {
    return EncryptedDirectory();
  }
  if (choice.problem != EndProblem::kNone) return Fail(choice.problem, choice.message);
  if (!choice.readings.empty()) {
    if (!choice.LastLeads()) {
      return Fail(EndProblem::kAmbiguous,
                  "the last end record in the file leads to no central directory, an earlier "
                  "one does: readers that take the last one find no entries, others find some");
    }
    if (choice.OuterLeadsNowhere()) {
      return Fail(EndProblem::kAmbiguous,
                  "an end record holds another in its comment and leads to no central "
                  "directory, the other one does: readers that take the outer one find no "
                  "entries, others find some");
    }
    return OneReading(reader, choice.readings, choice.partial_readings);
  }
  if (!choice.partial_readings.empty()) {
    return Fail(EndProblem::kDamaged,
                "the central directory at the offset that the end record gives does not end "
                "where the end record begins: the archive is damaged");
  }
  if (choice.several_disks) {
    return Fail(EndProblem::kSplit,
                "the archive is one part of an archive split over several files, which is not "
                "supported");
  }
  if (LooksEncrypted(reader)) {
    return EncryptedDirectory();
  }
  return Fail(EndProblem::kDamaged,
              "the central directory is not where the end record says: the archive is "
              "truncated or damaged");
}

}  // namespace nocunzip::unzip32
