#include "read/entry_layout.h"

#include <algorithm>
#include <cstdio>

#include "read/entry_name.h"
#include "read/extra_fields.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

using namespace zip;

// Reads the fixed part of the local header at `offset`, which must end before `limit`, into
// `header`. False, with the reason in `problem`, when there is none (`name` names the entry
// in the message).
bool ReadLocalHeaderFixedPart(WindowedReader& reader, uint64_t offset, uint64_t limit,
                              const std::string& name,
                              unsigned char (&header)[zip::kLocalHeaderSize],
                              std::string* problem) {
  if (offset >= limit || limit - offset < sizeof header ||
      !reader.Read(offset, header, sizeof header) || Get32(header) != zip::kLocalHeaderSignature) {
    *problem = "entry " + name + " has no local header where the directory says";
    return false;
  }
  return true;
}

// Where the data of `entry` lie when they begin at `data_offset`: they must end before
// `limit`. False, with the reason in `problem`, when they would run past it.
bool PlaceEntryData(const Entry& entry, uint64_t data_offset, uint64_t limit, EntryData* data,
                    std::string* problem) {
  if (data_offset > limit || limit - data_offset < entry.compressed_size) {
    *problem = "the data of entry " + entry.name +
               " runs past the end of the archive's data: its declared size is wrong or the "
               "archive is damaged";
    return false;
  }
  data->offset = data_offset;
  data->end = data_offset + entry.compressed_size;
  return true;
}

// The data descriptor that follows an entry's data when flag bit 3 is set: CRC and sizes,
// with or without its signature, with 32- or 64-bit sizes. Writers use each of the four
// forms, so the form is told by which one holds the values of the central record.
constexpr size_t kLongest = 24;  // signature, CRC, two 64-bit sizes

struct Form {
  bool signature;
  bool wide;  // 64-bit sizes
  size_t length() const { return (signature ? 4 : 0) + 4 + (wide ? 16 : 8); }
};
constexpr Form kForms[] = {{true, false}, {true, true}, {false, false}, {false, true}};

struct Values {
  uint32_t crc = 0;
  uint64_t compressed = 0;
  uint64_t uncompressed = 0;
};

Values ReadDescriptor(const unsigned char* bytes, const Form& form) {
  const unsigned char* p = bytes + (form.signature ? 4 : 0);
  Values values;
  values.crc = Get32(p);
  values.compressed = form.wide ? Get64(p + 4) : Get32(p + 4);
  values.uncompressed = form.wide ? Get64(p + 12) : Get32(p + 8);
  return values;
}

// The bytes at `at`, as many as there are up to `limit` (at most kLongest).
size_t LoadDescriptorBytes(WindowedReader& reader, uint64_t at, uint64_t limit,
                           unsigned char* bytes) {
  if (at >= limit) return 0;
  const size_t available = static_cast<size_t>(std::min<uint64_t>(limit - at, kLongest));
  return reader.Read(at, bytes, available) ? available : 0;
}

// Whether a descriptor at `at`, ending by `limit`, holds the CRC and sizes of `entry`;
// then `length` is its length.
bool FindDataDescriptor(WindowedReader& reader, uint64_t at, uint64_t limit, const Entry& entry,
                        size_t* length) {
  unsigned char bytes[kLongest];
  const size_t available = LoadDescriptorBytes(reader, at, limit, bytes);
  const bool signed_form = available >= 4 && Get32(bytes) == zip::kDataDescriptorSignature;
  for (const Form& form : kForms) {
    if (form.signature != signed_form || form.length() > available) continue;
    const Values values = ReadDescriptor(bytes, form);
    if (values.crc == entry.crc && values.compressed == entry.compressed_size &&
        values.uncompressed == entry.uncompressed_size) {
      *length = form.length();
      return true;
    }
  }
  return false;
}

// What the bytes at `at` say when read as a descriptor, for a message when none fits.
std::string DescribeDataDescriptor(WindowedReader& reader, uint64_t at, uint64_t limit) {
  unsigned char bytes[kLongest];
  const size_t available = LoadDescriptorBytes(reader, at, limit, bytes);
  const Form form{available >= 4 && Get32(bytes) == zip::kDataDescriptorSignature, false};
  if (available < form.length()) return "none is there";
  const Values values = ReadDescriptor(bytes, form);
  char text[96];
  snprintf(text, sizeof text, "it says CRC %08x, compressed size %llu, size %llu", values.crc,
           static_cast<unsigned long long>(values.compressed),
           static_cast<unsigned long long>(values.uncompressed));
  return text;
}

// The local header against the central record. A reader that streams through the archive
// knows only the local header; one that reads the directory knows only the central record.
// Where the two say different things (another name, method, encryption, CRC or size), the
// two readers show different contents, so the archive has no one reading.
constexpr uint16_t kEncryptionFlags = kFlagEncrypted | kFlagStrongEncryption;

std::string Hex(uint32_t value) {
  char text[16];
  snprintf(text, sizeof text, "%08x", value);
  return text;
}

// The local sizes, those of the zip64 field where the 32-bit ones are maxed. `known` is
// false for a maxed size that the field does not hold.
struct LocalSizes {
  uint64_t compressed = 0;
  uint64_t uncompressed = 0;
  bool compressed_known = true;
  bool uncompressed_known = true;
};

LocalSizes ReadLocalSizes(const LocalRecord& local) {
  LocalSizes sizes{local.compressed_size, local.uncompressed_size};
  const std::string_view field = FindExtraFields(local.extra, kExtraZip64).first;
  size_t used = 0;
  // The zip64 field holds the maxed values in this order: size, then compressed size.
  auto take = [&](uint64_t* value, bool* known) {
    if (*value != kMaxed32) return;
    if (field.size() - used < 8) {
      *known = false;
      return;
    }
    *value = Get64(reinterpret_cast<const unsigned char*>(field.data()) + used);
    used += 8;
  };
  take(&sizes.uncompressed, &sizes.uncompressed_known);
  take(&sizes.compressed, &sizes.compressed_known);
  return sizes;
}

// The name that the local header gives, or why it cannot be read one way.
bool LocalName(const Entry& entry, std::string_view central_extra, const LocalRecord& local,
               std::string* difference) {
  std::string_view local_field, central_field;
  std::string problem;
  if (!FindUnicodePathField(local.extra, local.raw_name, local.flags, &local_field, &problem)) {
    *difference = "the local header of entry " + entry.name + " " + problem;
    return false;
  }
  const std::string name = DecodeEntryName(local.raw_name, local.flags, local_field);
  if (name != entry.name) {
    *difference =
        "the local header names the entry " + name + ", the central directory " + entry.name;
    return false;
  }
  FindUnicodePathField(central_extra, {}, 0, &central_field, &problem);
  if (!local_field.empty() && !central_field.empty() && local_field != central_field) {
    *difference = "the local header of entry " + entry.name +
                  " carries another Unicode path field than the central directory";
    return false;
  }
  return true;
}

bool SameCoding(const Entry& entry, std::string_view central_extra, const LocalRecord& local,
                std::string* difference) {
  const auto local_header = [&] { return "the local header of entry " + entry.name; };
  if (local.method != entry.recorded_method) {
    *difference = local_header() + " says method " + MethodName(local.method) +
                  ", the central directory " + MethodName(entry.recorded_method);
    return false;
  }
  if ((local.flags & kEncryptionFlags) != (entry.flags & kEncryptionFlags)) {
    const bool local_encrypted = (local.flags & kFlagEncrypted) != 0;
    const bool central_encrypted = (entry.flags & kFlagEncrypted) != 0;
    *difference = local_header() + " says it is " +
                  (local_encrypted ? "encrypted" : "not encrypted") + ", the central directory " +
                  (central_encrypted == local_encrypted ? "with another kind of encryption"
                   : central_encrypted                  ? "that it is encrypted"
                                                        : "that it is not");
    return false;
  }
  const std::string_view local_aes = FindExtraFields(local.extra, kExtraAes).first;
  const std::string_view central_aes = FindExtraFields(central_extra, kExtraAes).first;
  if (!local_aes.empty() && !central_aes.empty() && local_aes != central_aes) {
    *difference = local_header() + " gives other AES settings than the central directory";
    return false;
  }
  return true;
}

bool SameSizes(const Entry& entry, const LocalRecord& local, std::string* difference) {
  const bool in_descriptor = (local.flags & kFlagDataDescriptor) != 0;
  const LocalSizes sizes = ReadLocalSizes(local);
  // With bit 3 a local value may be zero: the data descriptor holds it. One that is maxed
  // without a zip64 field to hold it is a size of its own to a streaming reader.
  auto agrees = [&](uint64_t value, uint64_t central, bool known) {
    return known && (value == central || (in_descriptor && value == 0));
  };
  const auto local_header = [&] { return "the local header of entry " + entry.name; };
  if (!agrees(local.crc, entry.crc, true)) {
    *difference = local_header() + " says its CRC is " + Hex(local.crc) +
                  ", the central directory " + Hex(entry.crc);
    return false;
  }
  if (!agrees(sizes.compressed, entry.compressed_size, sizes.compressed_known)) {
    *difference = local_header() + " says its compressed size is " +
                  (sizes.compressed_known ? std::to_string(sizes.compressed) + " bytes"
                                          : std::string("in a zip64 field that it lacks")) +
                  ", the central directory " + std::to_string(entry.compressed_size);
    return false;
  }
  if (!agrees(sizes.uncompressed, entry.uncompressed_size, sizes.uncompressed_known)) {
    *difference = local_header() + " says its size is " +
                  (sizes.uncompressed_known ? std::to_string(sizes.uncompressed) + " bytes"
                                            : std::string("in a zip64 field that it lacks")) +
                  ", the central directory " + std::to_string(entry.uncompressed_size);
    return false;
  }
  return true;
}

// Whether `local` says what the central record of `entry` (whose extra fields are
// `central_extra`) says: the name after decoding, the method, the encryption flags, the
// Unicode path and AES fields where both carry them, the CRC and both sizes (those of the
// zip64 field where the local header sends a reader there), or zeros where flag bit 3 puts
// them in a data descriptor. Else `difference` says how they differ, for a person.
bool LocalAgrees(const Entry& entry, std::string_view central_extra, const LocalRecord& local,
                 std::string* difference) {
  if (const std::string repeated = RepeatedExtraField(local.extra); !repeated.empty()) {
    *difference = "the local header of entry " + entry.name + " " + repeated;
    return false;
  }
  return LocalName(entry, central_extra, local, difference) &&
         SameCoding(entry, central_extra, local, difference) && SameSizes(entry, local, difference);
}

// Where the descriptor after the data ends. Flag bit 3 in the local header sends a
// streaming reader to the descriptor, which must then hold the central values; with the
// flag in the central record only, a descriptor that holds them is the entry's too.
LayoutProblem LayOutDescriptor(WindowedReader& reader, const Entry& entry, const LocalRecord& local,
                               uint64_t limit, EntryLayout* layout, std::string* problem) {
  layout->end = layout->data_end;
  const bool local_says = (local.flags & kFlagDataDescriptor) != 0;
  if (!local_says && (entry.flags & kFlagDataDescriptor) == 0) return LayoutProblem::kNone;
  size_t length = 0;
  if (FindDataDescriptor(reader, layout->data_end, limit, entry, &length)) {
    layout->end += length;
  } else if (local_says) {
    *problem = "the data descriptor of entry " + entry.name +
               " does not hold the CRC and sizes of the central directory (" +
               DescribeDataDescriptor(reader, layout->data_end, limit) + ")";
    return LayoutProblem::kAmbiguous;
  }
  return LayoutProblem::kNone;
}

}  // namespace

bool FindEntryData(WindowedReader& reader, const Entry& entry, uint64_t limit, EntryData* data,
                   std::string* problem) {
  unsigned char local[zip::kLocalHeaderSize];
  if (!ReadLocalHeaderFixedPart(reader, entry.local_offset, limit, entry.name, local, problem)) {
    return false;
  }
  const uint64_t header_size =
      zip::kLocalHeaderSize + uint64_t{Get16(local + 26)} + Get16(local + 28);
  return PlaceEntryData(entry, entry.local_offset + header_size, limit, data, problem);
}

bool ReadLocalRecord(WindowedReader& reader, uint64_t offset, uint64_t limit,
                     const std::string& name, LocalRecord* record, std::string* problem) {
  unsigned char header[zip::kLocalHeaderSize];
  if (!ReadLocalHeaderFixedPart(reader, offset, limit, name, header, problem)) return false;
  const uint16_t name_length = Get16(header + 26);
  const uint16_t extra_length = Get16(header + 28);
  record->data_offset = offset + sizeof header + name_length + extra_length;
  record->raw_name.resize(name_length);
  record->extra.resize(extra_length);
  if (record->data_offset > limit ||
      !reader.Read(offset + sizeof header, record->raw_name.data(), name_length) ||
      !reader.Read(offset + sizeof header + name_length, record->extra.data(), extra_length)) {
    *problem = "the local header of entry " + name + " runs past the end of the archive's data";
    return false;
  }
  record->flags = Get16(header + 6);
  record->method = Get16(header + 8);
  record->crc = Get32(header + 14);
  record->compressed_size = Get32(header + 18);
  record->uncompressed_size = Get32(header + 22);
  return true;
}

LayoutProblem LayOutEntry(WindowedReader& reader, const Entry& entry,
                          std::string_view central_extra, uint64_t limit, LocalRecord* local,
                          EntryLayout* layout, std::string* problem) {
  if (!ReadLocalRecord(reader, entry.local_offset, limit, entry.name, local, problem)) {
    return LayoutProblem::kDamaged;
  }
  EntryData data;
  if (!PlaceEntryData(entry, local->data_offset, limit, &data, problem)) {
    return LayoutProblem::kDamaged;
  }
  layout->begin = entry.local_offset;
  layout->data_offset = data.offset;
  layout->data_end = data.end;
  layout->end = layout->data_end;
  if (!LocalAgrees(entry, central_extra, *local, problem)) return LayoutProblem::kAmbiguous;
  return LayOutDescriptor(reader, entry, *local, limit, layout, problem);
}

}  // namespace nocunzip::unzip32
