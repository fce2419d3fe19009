#include "read/central_directory.h"

#include <optional>
#include <string_view>

#include "read/end_records.h"
#include "read/entry_name.h"
#include "read/extra_fields.h"
#include "read/local_time.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

using namespace zip;

constexpr uint32_t kSignatureRecordSignature = 0x05054b50;  // digital signature

const unsigned char* Bytes(std::string_view data) {
  return reinterpret_cast<const unsigned char*>(data.data());
}

// Replaces the maxed-out sizes and offset by the values of the zip64 field, in the order
// the format gives them (a disk number may follow). False when the field is too short for
// what is maxed.
bool ApplyZip64(std::string_view field, Entry* entry) {
  size_t used = 0;
  auto take = [&](uint64_t* value) {
    if (*value != kMaxed32) return true;
    if (field.size() - used < 8) return false;
    *value = Get64(Bytes(field) + used);
    used += 8;
    return true;
  };
  if (!take(&entry->uncompressed_size) || !take(&entry->compressed_size) ||
      !take(&entry->local_offset)) {
    return false;
  }
  return true;
}

void ApplyAes(std::string_view field, Entry* entry) {
  entry->encryption = Encryption::kUnsupported;
  if (field.size() < 7 || field[2] != 'A' || field[3] != 'E') return;
  const uint16_t version = Get16(Bytes(field));
  const uint8_t strength = Bytes(field)[4];
  if ((version != 1 && version != 2) || strength < 1 || strength > 3) return;
  entry->encryption = Encryption::kAes;
  entry->aes_version = version;
  entry->aes_key_bits = static_cast<uint16_t>(64 + 64 * strength);
  entry->method = Get16(Bytes(field) + 5);
  // AE-2 leaves out the CRC: the authentication code stands for it.
  entry->crc_known = version == 1;
}

// The modification time of an NTFS extra field (tag 1: three FILETIMEs), if it has one.
bool NtfsTime(std::string_view field, int64_t* mtime) {
  size_t at = 4;  // reserved
  while (field.size() - at >= 4 && field.size() >= at) {
    const uint16_t tag = Get16(Bytes(field) + at);
    const uint16_t size = Get16(Bytes(field) + at + 2);
    if (field.size() - at - 4 < size) return false;
    if (tag == 1 && size >= 8) {
      const uint64_t ticks = Get64(Bytes(field) + at + 4);
      *mtime = static_cast<int64_t>(ticks / 10000000u) - kSecondsFrom1601To1970;
      return true;
    }
    at += 4 + size;
  }
  return false;
}

// Directory, link, text and permission facts from the attributes and the name. An entry is a
// directory when anything marks it so: readers differ in which mark they look at.
void ApplyAttributes(Entry* entry) {
  entry->is_text = (entry->internal_attributes & 1) != 0;
  entry->is_directory =
      NameMarksDirectory(entry->name) || (entry->external_attributes & kDosDirectoryAttribute) != 0;
  const uint8_t system = entry->made_by_system;
  const uint32_t mode = entry->external_attributes >> 16;
  if ((system == kSystemUnix || system == kSystemDarwin) && mode != 0) {
    entry->has_unix_mode = true;
    entry->unix_mode = mode & 07777;
    const uint32_t type = mode & kUnixFileTypeMask;
    entry->is_link = type == kUnixLink;
    if (type == kUnixDirectory) entry->is_directory = true;
    // A FIFO's bytes are what a writer read from a pipe: every reader writes them as a file.
    entry->is_special = type != 0 && type != kUnixRegular && type != kUnixDirectory &&
                        type != kUnixFifo && !entry->is_link;
  }
}

void ApplyEncryption(Entry* entry) {
  if ((entry->flags & kFlagEncrypted) == 0) {
    if (entry->method == kMethodAes) entry->encryption = Encryption::kUnsupported;
    return;
  }
  if ((entry->flags & kFlagStrongEncryption) != 0) {
    entry->encryption = Encryption::kUnsupported;
  } else if (entry->encryption == Encryption::kNone) {
    entry->encryption =
        entry->method == kMethodAes ? Encryption::kUnsupported : Encryption::kTraditional;
  }
}

// The fixed fields of the central record `header`, as stored.
Entry ReadFixedFields(const unsigned char* header) {
  Entry entry;
  entry.made_by_system = header[5];
  entry.flags = Get16(header + 8);
  entry.method = Get16(header + 10);
  entry.recorded_method = entry.method;
  entry.dos_time = Get16(header + 12);
  entry.dos_date = Get16(header + 14);
  entry.crc = Get32(header + 16);
  entry.compressed_size = Get32(header + 20);
  entry.uncompressed_size = Get32(header + 24);
  entry.internal_attributes = Get16(header + 36);
  entry.external_attributes = Get32(header + 38);
  entry.local_offset = Get32(header + 42);
  return entry;
}

// The zip64 sizes and offset, the exact time and the AES settings of the extra fields
// `extra`; false when the zip64 field lacks what the record says it holds.
bool ApplyExtraFields(std::string_view extra, Entry* entry) {
  bool zip64_ok = true;
  bool have_exact_time = false;
  ForEachExtraField(extra, [&](const ExtraField& field) {
    switch (field.id) {
      case kExtraZip64:
        zip64_ok = ApplyZip64(field.data, entry);
        break;
      case kExtraExtendedTimestamp:
        // Unsigned seconds, as 7-Zip and libarchive read them: 1970 to 2106, where
        // a signed reading turns every time past January 2038 into one before 1970.
        if (field.data.size() >= 5 && (field.data[0] & 1) != 0) {
          entry->mtime = Get32(Bytes(field.data) + 1);
          have_exact_time = true;
        }
        break;
      case kExtraNtfs:
        if (!have_exact_time) have_exact_time = NtfsTime(field.data, &entry->mtime);
        break;
      case kExtraAes:
        if (entry->method == kMethodAes) ApplyAes(field.data, entry);
        break;
    }
  });
  return zip64_ok;
}

}  // namespace

CentralDirectory::CentralDirectory(ByteReader& reader, const ArchiveEnd& end)
    : window_(reader), end_(end), position_(end.directory_offset) {}

CentralDirectory::Step CentralDirectory::Damaged(std::string* problem, std::string text) {
  *problem = std::move(text);
  done_ = true;
  return Step::kDamaged;
}

CentralDirectory::Step CentralDirectory::Ambiguous(std::string* problem, std::string text) {
  *problem = std::move(text);
  done_ = true;
  return Step::kAmbiguous;
}

// The directory ends exactly where the end records begin; what lies between its records
// must be another record. A digital signature may close it.
std::optional<CentralDirectory::Step> CentralDirectory::CheckEnd(std::string* problem) {
  const uint64_t directory_end = end_.directory_offset + end_.directory_size;
  if (position_ >= directory_end) {
    done_ = true;
    return Step::kEnd;
  }
  unsigned char record[6];
  const uint64_t left = directory_end - position_;
  if (left < 4 || !window_.Read(position_, record, 4)) {
    return Damaged(problem, "the central directory ends in " + std::to_string(left) +
                                " bytes that are no record");
  }
  const uint32_t signature = Get32(record);
  if (signature == kCentralHeaderSignature) return std::nullopt;
  if (signature == kSignatureRecordSignature && left >= 6 && window_.Read(position_, record, 6) &&
      left == 6u + Get16(record + 4)) {
    done_ = true;
    return Step::kEnd;
  }
  if (signature == kSignatureRecordSignature || signature == kEndSignature ||
      signature == kZip64EndSignature || signature == kZip64LocatorSignature) {
    const std::string count = std::to_string(next_index_);
    return Ambiguous(problem, "the central directory holds an end record after entry " + count +
                                  ", where a reader stops: it would see " + count +
                                  " entries of a directory that goes on");
  }
  return Damaged(problem,
                 "central directory entry " + std::to_string(next_index_ + 1) + " is damaged");
}

CentralDirectory::Step CentralDirectory::Next(Entry* entry, std::string* problem) {
  if (done_) return Step::kEnd;
  // The directory is read to its end; the scan holds the number of entries read against
  // the count of the end record.
  if (std::optional<Step> end = CheckEnd(problem)) return *end;
  const uint64_t directory_end = end_.directory_offset + end_.directory_size;
  const std::string number = std::to_string(next_index_ + 1);
  unsigned char header[kCentralHeaderSize];
  if (directory_end - position_ < kCentralHeaderSize ||
      !window_.Read(position_, header, sizeof header) || Get32(header) != kCentralHeaderSignature) {
    return Damaged(problem, "central directory entry " + number + " is damaged");
  }
  const uint16_t name_length = Get16(header + 28);
  const uint16_t extra_length = Get16(header + 30);
  const uint64_t record_size =
      kCentralHeaderSize + uint64_t{name_length} + extra_length + Get16(header + 32);
  if (directory_end - position_ < record_size) {
    return Damaged(problem, "central directory entry " + number + " runs past the directory");
  }
  raw_name_.resize(name_length);
  extra_.resize(extra_length);
  if (!window_.Read(position_ + kCentralHeaderSize, raw_name_.data(), name_length) ||
      !window_.Read(position_ + kCentralHeaderSize + name_length, extra_.data(), extra_length)) {
    return Damaged(problem, "central directory entry " + number + " is damaged");
  }

  *entry = ReadFixedFields(header);
  entry->index = next_index_;
  entry->mtime = times_.Seconds(entry->dos_date, entry->dos_time);

  std::string_view unicode_path;
  std::string field_problem = RepeatedExtraField(extra_);
  if (!field_problem.empty() ||
      !FindUnicodePathField(extra_, raw_name_, entry->flags, &unicode_path, &field_problem)) {
    return Ambiguous(problem,
                     "entry " + DecodeEntryName(raw_name_, entry->flags, {}) + " " + field_problem);
  }
  const bool zip64_ok = ApplyExtraFields(extra_, entry);
  entry->name = DecodeEntryName(raw_name_, entry->flags, unicode_path);
  entry->name_not_utf8 = (entry->flags & kFlagUtf8) != 0 && !IsValidUtf8(raw_name_);
  // Extra fields that do not add up are read as far as they go, as other tools do; only
  // a zip64 field that lacks what the record says it holds makes the entry unreadable.
  if (!zip64_ok) return Damaged(problem, "entry " + entry->name + " has a damaged zip64 field");
  // Disk numbers are not held against an entry: writers of single-file archives fill them
  // in variously, and an entry of another disk has no local header here anyway.
  if (!ApplyShift(entry->local_offset, end_.shift, &entry->local_offset) ||
      entry->local_offset >= end_.directory_offset) {
    return Damaged(problem, "entry " + entry->name + " has an offset outside the archive");
  }
  ApplyEncryption(entry);
  ApplyAttributes(entry);
  position_ += record_size;
  ++next_index_;
  return Step::kEntry;
}

}  // namespace nocunzip::unzip32
