#include "read/end_records.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "read/central_directory.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

using namespace zip;

// The readings of one end record, with the zip64 records before it. Where one record
// leads: the directory right before the end records (where Python's zipfile looks), and
// the one at the recorded offset (where bsdtar and 7-Zip look) when that is elsewhere.
struct EndRecordReadings {
  // The directory right before the end records, and the one at the recorded offset where
  // that is elsewhere.
  std::vector<ArchiveEnd> readings;
  // A directory at the recorded offset where none lies right before the end records: some
  // readers take it, but it does not end where the end records begin, so it can only be
  // compared with the readings of other records. Also the directories of zip64 records that
  // classic fields of their own contradict: readers that follow the locator take them.
  std::vector<ArchiveEnd> partial_readings;
  // kAmbiguous when the records can be read in more than one way: counts that differ, zip64
  // records that readers follow to different places. `message` says so for a person.
  EndProblem problem = EndProblem::kNone;
  std::string message;
  bool several_disks = false;  // the records name other disks
};

bool HasSignature(ByteReader& reader, uint64_t offset, uint32_t signature) {
  unsigned char bytes[4];
  return reader.ReadAt(offset, bytes, sizeof bytes) && Get32(bytes) == signature;
}

// What the end records say.
struct Declared {
  uint64_t record_position = 0;  // the classic end record in the file
  uint64_t directory_end = 0;    // where the directory must end: the first end record
  uint64_t entry_count = 0;
  uint64_t directory_size = 0;
  uint64_t directory_offset = 0;  // as recorded
  bool count_maxed = false, size_maxed = false, offset_maxed = false;
  bool zip64 = false;  // the count is the zip64 record's, in full
  std::string comment;
};

Declared ReadClassic(const std::vector<unsigned char>& tail, uint64_t tail_start, size_t at) {
  const unsigned char* p = tail.data() + at;
  Declared declared;
  declared.record_position = tail_start + at;
  declared.directory_end = declared.record_position;
  declared.entry_count = Get16(p + 10);
  declared.directory_size = Get32(p + 12);
  declared.directory_offset = Get32(p + 16);
  declared.count_maxed = Get16(p + 8) == kMaxed16 || Get16(p + 10) == kMaxed16;
  declared.size_maxed = declared.directory_size == kMaxed32;
  declared.offset_maxed = declared.directory_offset == kMaxed32;
  // A comment that claims more than the file holds is taken as far as it goes.
  const size_t comment_length = std::min<size_t>(Get16(p + 20), tail.size() - at - kEndSize);
  declared.comment.assign(reinterpret_cast<const char*>(p + kEndSize), comment_length);
  return declared;
}

bool AnyMaxed(const Declared& d) { return d.count_maxed || d.size_maxed || d.offset_maxed; }

// The zip64 end record that lies right before the locator at `locator_at`: its own size
// field says where it begins. Tried where the locator points and where a record without
// extensible data would begin.
bool FindZip64Record(ByteReader& reader, uint64_t locator_at, uint64_t pointed,
                     unsigned char* record, uint64_t* record_at) {
  for (const uint64_t at : {locator_at - kZip64EndSize, pointed}) {
    if (at > locator_at - kZip64EndSize || !reader.ReadAt(at, record, kZip64EndSize) ||
        Get32(record) != kZip64EndSignature || Get64(record + 4) > locator_at ||
        at + 12 + Get64(record + 4) != locator_at) {
      continue;
    }
    *record_at = at;
    return true;
  }
  return false;
}

void Refuse(EndRecordReadings* out, EndProblem problem, std::string message) {
  out->problem = problem;
  out->message = std::move(message);
}

// What the zip64 end record says, and where it lies.
struct Zip64Record {
  uint64_t at = 0;
  uint64_t count = 0;
  uint64_t size = 0;
  uint64_t offset = 0;
};

enum class Found { kNothing, kRecords, kRefused };

// Whether a zip64 end record begins where the locator at `locator_at` points, or where one
// without extensible data would lie before it.
bool AnyZip64Record(ByteReader& reader, uint64_t locator_at, uint64_t pointed) {
  return HasSignature(reader, locator_at - kZip64EndSize, kZip64EndSignature) ||
         (pointed < reader.size() && HasSignature(reader, pointed, kZip64EndSignature));
}

// The locator right before the classic record: where it lies and the offset it points to.
// kNothing where there is none, or where it names other disks, leads to no zip64 record and
// the classic fields stand on their own (a locator signature in a comment's random bytes):
// readers that check its disks then read the classic record (bsdtar, 7-Zip, Go), the others
// refuse the archive as split, so it leads nowhere.
Found ReadLocator(ByteReader& reader, const Declared& declared, uint64_t* locator_at,
                  uint64_t* pointed, EndRecordReadings* out) {
  if (declared.record_position < kZip64LocatorSize + kZip64EndSize) return Found::kNothing;
  *locator_at = declared.record_position - kZip64LocatorSize;
  unsigned char locator[kZip64LocatorSize];
  if (!reader.ReadAt(*locator_at, locator, sizeof locator) ||
      Get32(locator) != kZip64LocatorSignature) {
    return Found::kNothing;
  }
  // The disk that holds the zip64 end record, and the number of disks: a single file has
  // one disk, the first. Readers refuse the others as split archives; a count of 0, which
  // some writers leave, makes bsdtar read no entries at all while others read them all.
  if (Get32(locator + 16) == 0) {
    Refuse(out, EndProblem::kAmbiguous,
           "the zip64 locator counts 0 disks: some readers read no entries from the archive, "
           "others read them all");
    return Found::kRefused;
  }
  *pointed = Get64(locator + 8);
  if (Get32(locator + 4) != 0 || Get32(locator + 16) > 1) {
    if (!AnyMaxed(declared) && !AnyZip64Record(reader, *locator_at, *pointed)) {
      return Found::kNothing;
    }
    out->several_disks = true;
    return Found::kRefused;
  }
  return Found::kRecords;
}

// The zip64 end record that the locator at `locator_at` leads to, on the one disk with every
// entry.
bool ReadZip64Record(ByteReader& reader, uint64_t locator_at, uint64_t pointed, Zip64Record* zip64,
                     EndRecordReadings* out) {
  unsigned char record[kZip64EndSize];
  if (!FindZip64Record(reader, locator_at, pointed, record, &zip64->at)) {
    if (pointed < reader.size() && HasSignature(reader, pointed, kZip64EndSignature)) {
      Refuse(out, EndProblem::kAmbiguous,
             "the zip64 locator points to a zip64 end record that does not lie right before "
             "it: readers that follow it read another directory than those that do not");
      return false;
    }
    // A locator that leads to no record: readers that follow it find no directory, those
    // that do not read the classic fields.
    Refuse(out, EndProblem::kAmbiguous,
           "a zip64 locator lies before the end record but leads to no zip64 end record: "
           "readers that follow it find no directory, others read the classic end record");
    return false;
  }
  zip64->count = Get64(record + 32);
  zip64->size = Get64(record + 40);
  zip64->offset = Get64(record + 48);
  // A single file is disk 0 with every entry on it; some readers take a zip64 record that
  // says otherwise for part of a split archive and read nothing, others read on.
  if (Get32(record + 16) != 0 || Get32(record + 20) != 0 || Get64(record + 24) != zip64->count) {
    Refuse(out, EndProblem::kAmbiguous,
           "the zip64 end record puts the directory on disk " + std::to_string(Get32(record + 20)) +
               " of disk " + std::to_string(Get32(record + 16)) + " with " +
               std::to_string(Get64(record + 24)) + " of its " + std::to_string(zip64->count) +
               " entries: some readers take the archive for part of a split one and read "
               "nothing, others read on");
    return false;
  }
  return true;
}

// Whether the locator points to the zip64 record as recorded, or moved as far as the
// directory lies after its recorded offset (data put in front of a zip64 archive without
// moving its offsets). Moved, readers that follow the locator as recorded find no zip64
// record; where the classic fields give the directory's size, bsdtar then goes by them, reads
// no entries and reports success while Python's zipfile reads the record before the locator
// and the entries moved: two readings. With the size maxed, they find no directory and fail,
// and the moved reading is the only one.
bool LocatorFits(uint64_t pointed, const Zip64Record& zip64, const Declared& declared,
                 EndRecordReadings* out) {
  if (pointed == zip64.at) return true;
  const int64_t shift =
      static_cast<int64_t>(zip64.at - std::min(zip64.size, zip64.at) - zip64.offset);
  uint64_t moved = 0;
  const std::string where = "the zip64 locator points to offset " + std::to_string(pointed) +
                            ", the zip64 end record lies at " + std::to_string(zip64.at);
  if (ApplyShift(pointed, shift, &moved) && moved == zip64.at) {
    if (declared.size_maxed) return true;
    Refuse(out, EndProblem::kAmbiguous,
           where + ": it leads there only when moved by " + std::to_string(shift) +
               " bytes, as the archive's other offsets are: readers that follow the locator "
               "as recorded find no zip64 end record and read no entries, others read them all");
    return false;
  }
  Refuse(out, EndProblem::kAmbiguous, where + ": readers that follow it read something else");
  return false;
}

bool CountsDiffer(const Declared& declared, const Zip64Record& zip64) {
  return !declared.count_maxed && (zip64.count & 0xFFFF) != declared.entry_count;
}

// Where the classic fields hold values of their own and the zip64 record other ones, what
// the zip64 record says, for a person; empty when they agree.
std::string Disagreement(const Declared& declared, const Zip64Record& zip64) {
  if (CountsDiffer(declared, zip64)) {
    return "counts " + std::to_string(zip64.count) + " entries, the classic end record " +
           std::to_string(declared.entry_count);
  }
  if (!declared.size_maxed && zip64.size != declared.directory_size) {
    return "gives the directory " + std::to_string(zip64.size) + " bytes, the classic end record " +
           std::to_string(declared.directory_size);
  }
  if (!declared.offset_maxed && zip64.offset != declared.directory_offset) {
    return "puts the directory at " + std::to_string(zip64.offset) +
           ", the classic end record at " + std::to_string(declared.directory_offset);
  }
  return "";
}

// `declared` as the zip64 record completes it. A classic count of its own stands: readers
// take the zip64 one only where the classic one is maxed, and it may have wrapped where the
// zip64 one did not.
Declared WithZip64(Declared declared, const Zip64Record& zip64) {
  if (declared.count_maxed) {
    declared.entry_count = zip64.count;
    declared.zip64 = true;
  }
  declared.directory_size = zip64.size;
  declared.directory_offset = zip64.offset;
  declared.directory_end = zip64.at;
  return declared;
}

// Whether the local header of the directory's first entry lies where its recorded offset,
// moved by `shift`, says.
bool FirstEntryFits(ByteReader& reader, uint64_t directory_offset, int64_t shift) {
  unsigned char header[kCentralHeaderSize];
  if (!reader.ReadAt(directory_offset, header, sizeof header)) return false;
  const uint64_t offset = Get32(header + 42);
  if (offset == kMaxed32) return true;  // in the zip64 field: not worth a guess
  uint64_t moved = 0;
  return ApplyShift(offset, shift, &moved) && HasSignature(reader, moved, kLocalHeaderSignature);
}

ArchiveEnd MakeReading(const Declared& declared, uint64_t directory_offset, uint64_t size) {
  ArchiveEnd end;
  end.entry_count = declared.entry_count;
  end.directory_offset = directory_offset;
  end.directory_size = size;
  end.comment = declared.comment;
  end.zip64 = declared.zip64;
  return end;
}

// The directories that `declared` leads to, into `out`.
void AddDirectoriesOf(ByteReader& reader, const Declared& declared, EndRecordReadings* out) {
  if (declared.directory_size > declared.directory_end) return;
  const uint64_t real_start = declared.directory_end - declared.directory_size;
  if (declared.directory_size == 0) {
    if (declared.entry_count == 0) out->readings.push_back(MakeReading(declared, real_start, 0));
    return;
  }
  const uint64_t recorded = declared.directory_offset;
  const bool elsewhere = recorded != real_start && recorded < reader.size() &&
                         HasSignature(reader, recorded, kCentralHeaderSignature);
  if (!HasSignature(reader, real_start, kCentralHeaderSignature)) {
    if (elsewhere) {
      out->partial_readings.push_back(MakeReading(declared, recorded, declared.directory_size));
    }
    return;
  }
  // The directory lies right before the end records. Where it was recorded elsewhere, what
  // was put in front (or taken away) moves the entries' offsets too, unless the first
  // entry shows that they were recorded from the start of the file after all.
  ArchiveEnd end = MakeReading(declared, real_start, declared.directory_size);
  end.shift = static_cast<int64_t>(real_start - recorded);
  if (!FirstEntryFits(reader, real_start, end.shift) && FirstEntryFits(reader, real_start, 0)) {
    end.shift = 0;
  }
  out->readings.push_back(end);
  if (elsewhere) {
    out->readings.push_back(MakeReading(declared, recorded, declared.directory_size));
  }
}

// Where the classic fields stand on their own and the zip64 record says other things: this
// reader takes the classic directory, which ends at the end record (the zip64 records then
// lie inside the last entry's comment) or at the zip64 record. Readers that follow the
// locator take the zip64 record's directory: where that lists other entries, the archive
// reads two ways (it is compared as a partial reading); where it leads nowhere, they find
// no entries, which is no reading of their own. A directory of no bytes is one, though:
// Python's zipfile reads no entries from it, and succeeds.
void AddDirectoriesBesideZip64(ByteReader& reader, Declared declared, const Zip64Record& zip64,
                               EndRecordReadings* out) {
  if (zip64.size == 0 && declared.directory_size > 0) {
    Refuse(out, EndProblem::kAmbiguous,
           "the zip64 end record gives the central directory 0 bytes, the classic end record " +
               std::to_string(declared.directory_size) +
               ": readers that follow the zip64 record read no entries, others read them");
    return;
  }
  AddDirectoriesOf(reader, declared, out);
  if (out->readings.empty()) {
    out->partial_readings.clear();
    declared.directory_end = zip64.at;
    AddDirectoriesOf(reader, declared, out);
  }
  EndRecordReadings followed;
  AddDirectoriesOf(reader, WithZip64(declared, zip64), &followed);
  for (const std::vector<ArchiveEnd>* found : {&followed.readings, &followed.partial_readings}) {
    out->partial_readings.insert(out->partial_readings.end(), found->begin(), found->end());
  }
}

// The classic fields with the zip64 records where a locator lies before them, into `out`.
void AddDirectoriesWithZip64(ByteReader& reader, const Declared& declared, EndRecordReadings* out) {
  uint64_t locator_at = 0, pointed = 0;
  switch (ReadLocator(reader, declared, &locator_at, &pointed, out)) {
    case Found::kRefused:
      return;
    case Found::kNothing:
      // Maxed classic fields without a zip64 record: nothing tells where the directory is.
      if (!AnyMaxed(declared)) AddDirectoriesOf(reader, declared, out);
      return;
    case Found::kRecords:
      break;
  }
  Zip64Record zip64;
  if (!ReadZip64Record(reader, locator_at, pointed, &zip64, out) ||
      !LocatorFits(pointed, zip64, declared, out)) {
    return;
  }
  const std::string disagreement = Disagreement(declared, zip64);
  if (disagreement.empty()) {
    AddDirectoriesOf(reader, WithZip64(declared, zip64), out);
  } else if (AnyMaxed(declared) || CountsDiffer(declared, zip64)) {
    Refuse(out, EndProblem::kAmbiguous, "the zip64 end record " + disagreement);
  } else {
    AddDirectoriesBesideZip64(reader, declared, zip64, out);
  }
}

// A single file is one disk that holds every entry: readers that go by the count of this
// disk's entries read other entries than those that go by the total.
bool DiskCountsAgree(const unsigned char* record, EndRecordReadings* out) {
  const uint16_t on_disk = Get16(record + 8);
  const uint16_t total = Get16(record + 10);
  if (out->several_disks || on_disk == total || on_disk == kMaxed16 || total == kMaxed16) {
    return true;
  }
  Refuse(out, EndProblem::kAmbiguous,
         "the end record counts " + std::to_string(on_disk) + " entries on this disk and " +
             std::to_string(total) + " in all: readers that go by this disk's count read " +
             std::to_string(on_disk) + " entries, others " + std::to_string(total));
  return false;
}

// Reads the classic end record at offset `at` of `tail`, the last bytes of the file, which
// begin at `tail_start` of it.
EndRecordReadings ReadEndRecord(ByteReader& reader, const std::vector<unsigned char>& tail,
                                uint64_t tail_start, size_t at) {
  EndRecordReadings out;
  const uint16_t disk = Get16(tail.data() + at + 4);
  out.several_disks = disk != 0 && disk != kMaxed16;
  if (DiskCountsAgree(tail.data() + at, &out)) {
    AddDirectoriesWithZip64(reader, ReadClassic(tail, tail_start, at), &out);
  }
  return out;
}

// Two readings of one archive's central directory (found through different end records, or
// at different offsets) compared entry by entry, in lockstep, so that memory stays the same
// whatever the number of entries.
bool SameEntry(const Entry& a, const Entry& b) {
  return a.name == b.name && a.local_offset == b.local_offset && a.method == b.method &&
         a.recorded_method == b.recorded_method && a.flags == b.flags && a.crc == b.crc &&
         a.compressed_size == b.compressed_size && a.uncompressed_size == b.uncompressed_size &&
         a.external_attributes == b.external_attributes && a.is_directory == b.is_directory;
}

std::string DescribeStep(CentralDirectory::Step step, const Entry& entry) {
  switch (step) {
    case CentralDirectory::Step::kEntry:
      return entry.name;
    case CentralDirectory::Step::kEnd:
      return "nothing";
    default:
      return "a damaged record";
  }
}

// Whether the directories of `a` and `b` list the same entries: names, where their data lie,
// method, sizes, CRC, flags and attributes. Else `difference` names the first entry where
// they part, for a person. A directory that cannot be read to its end counts as different.
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
    *difference = "entry " + std::to_string(number) + " is " + DescribeStep(step_a, entry_a) +
                  " in one, " + DescribeStep(step_b, entry_b) + " in the other";
    if (both_entries && entry_a.name == entry_b.name) {
      *difference += " with other data";
    }
    return false;
  }
}

ArchiveEnd Fail(EndProblem problem, std::string message) {
  ArchiveEnd end;
  end.problem = problem;
  end.message =
      problem == EndProblem::kAmbiguous ? ReadsInMoreThanOneWay(message) : std::move(message);
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
  // take first, leads to a directory. Valid after ReadTheRecordsThatReadersTake.
  bool LastRecordLeadsToDirectory() const {
    for (const auto& [at, led] : records_read_) {
      if (at == records_.back()) return led;
    }
    return false;
  }
  // Whether a record that holds the last one in its comment leads to no directory while the
  // last one does: readers that take the outer record find nothing where others read the
  // inner one. Valid after ReadTheRecordsThatReadersTake.
  bool QuotingRecordLeadsNowhere() const {
    for (const auto& [at, led] : records_read_) {
      if (!led && CommentHolds(at, records_.back())) return LastRecordLeadsToDirectory();
    }
    return false;
  }
  // Reads the records that readers take; the first problem that one of them has stops it.
  void ReadTheRecordsThatReadersTake();

  std::vector<ArchiveEnd> readings;
  std::vector<ArchiveEnd> partial_readings;  // see EndRecordReadings
  EndProblem problem = EndProblem::kNone;
  std::string message;
  bool several_disks = false;

 private:
  // Adds the readings of the record at `at`; false when it leads to none.
  bool ReadRecordAt(size_t at);
  size_t CommentEnd(size_t at) const { return at + kEndSize + Get16(tail_.data() + at + 20); }
  // Whether the record at `outer` holds the whole record at `inner` in its comment.
  bool CommentHolds(size_t outer, size_t inner) const {
    return outer < inner && CommentEnd(outer) >= inner + kEndSize;
  }

  ByteReader& reader_;
  std::vector<unsigned char> tail_;
  uint64_t tail_start_;
  std::vector<size_t> records_;
  std::vector<std::pair<size_t, bool>>
      records_read_;  // records read, and whether they led anywhere
};

bool EndRecordChoice::ReadRecordAt(size_t at) {
  for (const auto& [taken_at, led] : records_read_) {
    if (taken_at == at) return led;
  }
  EndRecordReadings found = ReadEndRecord(reader_, tail_, tail_start_, at);
  records_read_.emplace_back(at, !found.readings.empty());
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

void EndRecordChoice::ReadTheRecordsThatReadersTake() {
  // Records whose comment reaches the end of the file or holds the last record (junk may
  // follow both): readers that search from the start or check comment lengths take them.
  for (const size_t at : records_) {
    if (CommentEnd(at) == tail_.size() || CommentHolds(at, records_.back())) ReadRecordAt(at);
  }
  ReadRecordAt(records_.back());
  for (auto at = records_.rbegin(); at != records_.rend() && problem == EndProblem::kNone; ++at) {
    if (ReadRecordAt(*at)) break;
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

// The one reading of the end records that readers take, unless readers differ on which.
ArchiveEnd ChosenReading(ByteReader& reader, EndRecordChoice& choice) {
  if (!choice.LastRecordLeadsToDirectory()) {
    return Fail(EndProblem::kAmbiguous,
                "the last end record in the file leads to no central directory, an earlier "
                "one does: readers that take the last one find no entries, others find some");
  }
  if (choice.QuotingRecordLeadsNowhere()) {
    return Fail(EndProblem::kAmbiguous,
                "an end record holds another in its comment and leads to no central "
                "directory, the other one does: readers that take the outer one find no "
                "entries, others find some");
  }
  return OneReading(reader, choice.readings, choice.partial_readings);
}

// Why no end record leads to a central directory.
ArchiveEnd NoReading(ByteReader& reader, const EndRecordChoice& choice) {
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
  if (LooksEncrypted(reader)) return EncryptedDirectory();
  return Fail(EndProblem::kDamaged,
              "the central directory is not where the end record says: the archive is "
              "truncated or damaged");
}

}  // namespace

std::string ReadsInMoreThanOneWay(const std::string& reason) {
  return "the archive reads in more than one way, so nothing was extracted: " + reason;
}

bool ApplyShift(uint64_t offset, int64_t shift, uint64_t* shifted) {
  if (shift >= 0) {
    if (offset > UINT64_MAX - static_cast<uint64_t>(shift)) return false;
    *shifted = offset + static_cast<uint64_t>(shift);
    return true;
  }
  const uint64_t back = static_cast<uint64_t>(-(shift + 1)) + 1;
  if (offset < back) return false;
  *shifted = offset - back;
  return true;
}

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
  choice.ReadTheRecordsThatReadersTake();
  // An encrypted directory comes with zip64 records of its own kind: say what it is.
  if (choice.problem != EndProblem::kNone && LooksEncrypted(reader)) {
    return EncryptedDirectory();
  }
  if (choice.problem != EndProblem::kNone) return Fail(choice.problem, choice.message);
  if (!choice.readings.empty()) return ChosenReading(reader, choice);
  return NoReading(reader, choice);
}

}  // namespace nocunzip::unzip32
