#include "read/end_records.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

using namespace zip;

constexpr uint32_t kSignatureRecordSignature =
    0x05054b50;  // digital signature, after the directory

ArchiveEnd Fail(EndProblem problem, std::string message) {
  ArchiveEnd end;
  end.problem = problem;
  end.message = std::move(message);
  return end;
}

bool HasSignature(ByteReader& reader, uint64_t offset, uint32_t signature) {
  unsigned char bytes[4];
  return reader.ReadAt(offset, bytes, sizeof bytes) && Get32(bytes) == signature;
}

// What one end record (and the zip64 records before it) say.
struct Declared {
  uint64_t record_position = 0;  // the classic end record in the file
  uint64_t directory_end = 0;    // where the directory must end: the first end record
  uint64_t entry_count = 0;
  uint64_t directory_size = 0;
  uint64_t directory_offset = 0;  // as recorded
  bool several_disks = false;
  std::string comment;
};

// Reads the classic end record at `at` of `tail` (which begins at `tail_start`).
Declared ReadClassic(const std::vector<unsigned char>& tail, uint64_t tail_start, size_t at) {
  const unsigned char* p = tail.data() + at;
  Declared declared;
  declared.record_position = tail_start + at;
  declared.directory_end = declared.record_position;
  declared.several_disks = Get16(p + 4) != 0 && Get16(p + 4) != kMaxed16;
  declared.entry_count = Get16(p + 10);
  declared.directory_size = Get32(p + 12);
  declared.directory_offset = Get32(p + 16);
  // A comment that claims more than the file holds is taken as far as it goes.
  const size_t comment_length = std::min<size_t>(Get16(p + 20), tail.size() - at - kEndSize);
  declared.comment.assign(reinterpret_cast<const char*>(p + kEndSize), comment_length);
  return declared;
}

bool ClassicFieldsMaxed(const std::vector<unsigned char>& tail, size_t at) {
  const unsigned char* p = tail.data() + at;
  return Get16(p + 8) == kMaxed16 || Get16(p + 10) == kMaxed16 || Get32(p + 12) == kMaxed32 ||
         Get32(p + 16) == kMaxed32;
}

// Takes the zip64 end record into `declared` when the locator before the classic record
// leads to one. The locator's offset is tried as recorded and, for archives with something
// in front, where the record would lie right before the locator.
bool ReadZip64(ByteReader& reader, Declared* declared) {
  if (declared->record_position < kZip64LocatorSize + kZip64EndSize) return false;
  const uint64_t locator_at = declared->record_position - kZip64LocatorSize;
  unsigned char locator[kZip64LocatorSize];
  if (!reader.ReadAt(locator_at, locator, sizeof locator) ||
      Get32(locator) != kZip64LocatorSignature) {
    return false;
  }
  if (Get32(locator + 16) > 1) declared->several_disks = true;
  for (const uint64_t record_at : {Get64(locator + 8), locator_at - kZip64EndSize}) {
    unsigned char record[kZip64EndSize];
    if (record_at > locator_at - kZip64EndSize ||
        !reader.ReadAt(record_at, record, sizeof record) || Get32(record) != kZip64EndSignature) {
      continue;
    }
    declared->entry_count = Get64(record + 32);
    declared->directory_size = Get64(record + 40);
    declared->directory_offset = Get64(record + 48);
    declared->directory_end = record_at;
    return true;
  }
  return false;
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

// Where the directory lies in the file, if this end record describes a directory that is
// there: at its recorded offset, or (for prefixed archives) right before the end records.
// The entries' offsets are shifted with the directory's, unless the first entry shows that
// they were recorded from the start of the file after all.
std::optional<ArchiveEnd> Locate(ByteReader& reader, const Declared& declared) {
  if (declared.directory_size > declared.directory_end) return std::nullopt;
  ArchiveEnd end;
  end.entry_count = declared.entry_count;
  end.directory_size = declared.directory_size;
  end.comment = declared.comment;
  const uint64_t real_start = declared.directory_end - declared.directory_size;
  if (declared.directory_size == 0) {
    end.directory_offset = real_start;
    return end;
  }
  auto directory_at = [&](uint64_t start) {
    return start <= real_start && HasSignature(reader, start, kCentralHeaderSignature);
  };
  if (directory_at(declared.directory_offset)) {
    end.directory_offset = declared.directory_offset;
  } else if (directory_at(real_start)) {
    end.directory_offset = real_start;
    end.shift = static_cast<int64_t>(real_start - declared.directory_offset);
    if (!FirstEntryFits(reader, real_start, end.shift) && FirstEntryFits(reader, real_start, 0)) {
      end.shift = 0;
    }
  } else {
    return std::nullopt;
  }
  end.directory_size = std::min(end.directory_size, declared.directory_end - end.directory_offset);
  return end;
}

// Whether the data of the archive begins with a local header that says its central directory
// is encrypted (strong encryption): then no directory can be found.
bool LooksEncrypted(ByteReader& reader) {
  unsigned char local[kLocalHeaderSize];
  if (!reader.ReadAt(0, local, sizeof local) || Get32(local) != kLocalHeaderSignature) return false;
  return (Get16(local + 6) & (kFlagStrongEncryption | kFlagMaskedDirectory)) != 0;
}

}  // namespace

ArchiveEnd FindArchiveEnd(ByteReader& reader) {
  const uint64_t size = reader.size();
  if (size == 0) return Fail(EndProblem::kEmptyFile, "the file is empty");
  const uint64_t tail_size = std::min<uint64_t>(size, kEndSize + kMaxCommentSize);
  const uint64_t tail_start = size - tail_size;
  std::vector<unsigned char> tail(static_cast<size_t>(tail_size));
  if (tail.size() < kEndSize || !reader.ReadAt(tail_start, tail.data(), tail.size())) {
    return Fail(EndProblem::kNotZip,
                "no end of central directory found: not a ZIP archive, or a truncated one");
  }
  // Records whose comment ends exactly at the end of the file come first, the earliest
  // first: a record (or a whole archive) quoted inside the comment of another lies after it.
  // Then the others, from the last one back, for archives with junk after their end.
  std::vector<size_t> exact, others;
  for (size_t at = 0; at + kEndSize <= tail.size(); ++at) {
    if (Get32(tail.data() + at) != kEndSignature) continue;
    const bool ends_file = at + kEndSize + Get16(tail.data() + at + 20) == tail.size();
    (ends_file ? exact : others).push_back(at);
  }
  std::vector<size_t> candidates = exact;
  candidates.insert(candidates.end(), others.rbegin(), others.rend());
  bool several_disks = false;
  for (const size_t at : candidates) {
    const Declared classic = ReadClassic(tail, tail_start, at);
    Declared zip64 = classic;
    std::vector<Declared> readings;
    if (ReadZip64(reader, &zip64)) {
      // Where the classic fields hold real values, a zip64 record that does not fit is a
      // stray one: the classic fields are read too, the directory ending at that record.
      readings.push_back(zip64);
      if (!ClassicFieldsMaxed(tail, at)) {
        readings.push_back(classic);
        readings.back().directory_end = zip64.directory_end;
      }
    } else if (!ClassicFieldsMaxed(tail, at)) {
      readings.push_back(classic);
    }
    for (const Declared& declared : readings) {
      if (std::optional<ArchiveEnd> end = Locate(reader, declared)) return *end;
    }
    several_disks = several_disks || zip64.several_disks;
  }
  if (candidates.empty()) {
    return Fail(EndProblem::kNotZip,
                "no end of central directory found: not a ZIP archive, or a truncated one");
  }
  if (several_disks) {
    return Fail(EndProblem::kSplit,
                "the archive is one part of an archive split over several files, which is not "
                "supported");
  }
  if (LooksEncrypted(reader)) {
    return Fail(EndProblem::kEncrypted,
                "the central directory is encrypted (strong encryption), which is not supported");
  }
  return Fail(EndProblem::kDamaged,
              "the central directory is not where the end record says: the archive is "
              "truncated or damaged");
}

}  // namespace nocunzip::unzip32
