#include "read/end_record_reading.h"

#include <algorithm>

#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

using namespace zip;

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

// Takes the zip64 records into `declared` where a locator lies before the classic record
// (then `found` is set). False, with the problem in `out`, when they cannot be read one way.
bool ApplyZip64(ByteReader& reader, Declared* declared, bool* found, EndRecordReadings* out) {
  if (declared->record_position < kZip64LocatorSize + kZip64EndSize) return true;
  const uint64_t locator_at = declared->record_position - kZip64LocatorSize;
  unsigned char locator[kZip64LocatorSize];
  if (!reader.ReadAt(locator_at, locator, sizeof locator) ||
      Get32(locator) != kZip64LocatorSignature) {
    return true;
  }
  // The disk that holds the zip64 end record, and the number of disks: a single file has
  // one disk, the first. Readers refuse the others as split archives; a count of 0, which
  // some writers leave, makes bsdtar read no entries at all while others read them all.
  if (Get32(locator + 16) == 0) {
    Refuse(out, EndProblem::kAmbiguous,
           "the zip64 locator counts 0 disks: some readers read no entries from the archive, "
           "others read them all");
    return false;
  }
  if (Get32(locator + 4) != 0 || Get32(locator + 16) > 1) {
    out->several_disks = true;
    return false;
  }
  const uint64_t pointed = Get64(locator + 8);
  unsigned char record[kZip64EndSize];
  uint64_t record_at = 0;
  if (!FindZip64Record(reader, locator_at, pointed, record, &record_at)) {
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
  const uint64_t count = Get64(record + 32);
  const uint64_t size = Get64(record + 40);
  const uint64_t offset = Get64(record + 48);
  // A single file is disk 0 with every entry on it; some readers take a zip64 record that
  // says otherwise for part of a split archive and read nothing, others read on.
  if (Get32(record + 16) != 0 || Get32(record + 20) != 0 || Get64(record + 24) != count) {
    Refuse(out, EndProblem::kAmbiguous,
           "the zip64 end record puts the directory on disk " + std::to_string(Get32(record + 20)) +
               " of disk " + std::to_string(Get32(record + 16)) + " with " +
               std::to_string(Get64(record + 24)) + " of its " + std::to_string(count) +
               " entries: some readers take the archive for part of a split one and read "
               "nothing, others read on");
    return false;
  }
  // The locator points to the record, as recorded or moved by what was put in front.
  const int64_t shift = static_cast<int64_t>(record_at - std::min(size, record_at) - offset);
  if (pointed != record_at &&
      static_cast<int64_t>(pointed) + shift != static_cast<int64_t>(record_at)) {
    Refuse(out, EndProblem::kAmbiguous,
           "the zip64 locator points to offset " + std::to_string(pointed) +
               ", the zip64 end record lies at " + std::to_string(record_at) +
               ": readers that follow it read something else");
    return false;
  }
  // Where the classic fields hold values of their own, they must be these.
  std::string disagreement;
  if (!declared->count_maxed && (count & 0xFFFF) != declared->entry_count) {
    disagreement = "counts " + std::to_string(count) + " entries, the classic end record " +
                   std::to_string(declared->entry_count);
  } else if (!declared->size_maxed && size != declared->directory_size) {
    disagreement = "gives the directory " + std::to_string(size) +
                   " bytes, the classic end record " + std::to_string(declared->directory_size);
  } else if (!declared->offset_maxed && offset != declared->directory_offset) {
    disagreement = "puts the directory at " + std::to_string(offset) +
                   ", the classic end record at " + std::to_string(declared->directory_offset);
  }
  if (!disagreement.empty()) {
    Refuse(out, EndProblem::kAmbiguous, "the zip64 end record " + disagreement);
    return false;
  }
  // A classic count of its own stands: readers take the zip64 one only where the classic
  // one is maxed, and it may have wrapped where the zip64 one did not.
  if (declared->count_maxed) {
    declared->entry_count = count;
    declared->zip64 = true;
  }
  declared->directory_size = size;
  declared->directory_offset = offset;
  declared->directory_end = record_at;
  *found = true;
  return true;
}

// Whether the local header of the directory's first entry lies where its recorded offset,
// moved by `shift`, says.
bool FirstEntryFits(ByteReader& reader, uint64_t directory_offset, int64_t shift) {
  unsigned char header[kCentralHeaderSize];
  if (!reader.ReadAt(directory_offset, header, sizeof header)) return false;
  const uint64_t offset = Get32(header + 42);
  if (offset == kMaxed32) return true;  // in the zip64 field: not worth a guess
  const int64_t moved = static_cast<int64_t>(offset) + shift;
  return moved >= 0 && HasSignature(reader, static_cast<uint64_t>(moved), kLocalHeaderSignature);
}

ArchiveEnd Reading(const Declared& declared, uint64_t directory_offset, uint64_t size) {
  ArchiveEnd end;
  end.entry_count = declared.entry_count;
  end.directory_offset = directory_offset;
  end.directory_size = size;
  end.comment = declared.comment;
  end.zip64 = declared.zip64;
  return end;
}

// The directories that `declared` leads to, into `out`.
void Locate(ByteReader& reader, const Declared& declared, EndRecordReadings* out) {
  if (declared.directory_size > declared.directory_end) return;
  const uint64_t real_start = declared.directory_end - declared.directory_size;
  if (declared.directory_size == 0) {
    if (declared.entry_count == 0) out->readings.push_back(Reading(declared, real_start, 0));
    return;
  }
  const uint64_t recorded = declared.directory_offset;
  const bool elsewhere = recorded != real_start && recorded < reader.size() &&
                         HasSignature(reader, recorded, kCentralHeaderSignature);
  if (!HasSignature(reader, real_start, kCentralHeaderSignature)) {
    if (elsewhere) {
      out->partial_readings.push_back(Reading(declared, recorded, declared.directory_size));
    }
    return;
  }
  // The directory lies right before the end records. Where it was recorded elsewhere, what
  // was put in front (or taken away) moves the entries' offsets too, unless the first
  // entry shows that they were recorded from the start of the file after all.
  ArchiveEnd end = Reading(declared, real_start, declared.directory_size);
  end.shift = static_cast<int64_t>(real_start - recorded);
  if (!FirstEntryFits(reader, real_start, end.shift) && FirstEntryFits(reader, real_start, 0)) {
    end.shift = 0;
  }
  out->readings.push_back(end);
  if (elsewhere) {
    out->readings.push_back(Reading(declared, recorded, declared.directory_size));
  }
}

}  // namespace

EndRecordReadings ReadEndRecord(ByteReader& reader, const std::vector<unsigned char>& tail,
                                uint64_t tail_start, size_t at) {
  EndRecordReadings out;
  const uint16_t disk = Get16(tail.data() + at + 4);
  out.several_disks = disk != 0 && disk != kMaxed16;
  Declared declared = ReadClassic(tail, tail_start, at);
  bool zip64_found = false;
  if (!ApplyZip64(reader, &declared, &zip64_found, &out)) return out;
  // Maxed classic fields without a zip64 record: nothing tells where the directory is.
  if (!zip64_found && AnyMaxed(declared)) return out;
  Locate(reader, declared, &out);
  return out;
}

}  // namespace nocunzip::unzip32
