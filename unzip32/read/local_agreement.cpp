#include "read/local_agreement.h"

#include <cstdio>

#include "read/entry_name.h"
#include "read/extra_fields.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

using namespace zip;

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

}  // namespace

bool LocalAgrees(const Entry& entry, std::string_view central_extra, const LocalRecord& local,
                 std::string* difference) {
  if (const std::string repeated = RepeatedExtraField(local.extra); !repeated.empty()) {
    *difference = "the local header of entry " + entry.name + " " + repeated;
    return false;
  }
  return LocalName(entry, central_extra, local, difference) &&
         SameCoding(entry, central_extra, local, difference) && SameSizes(entry, local, difference);
}

}  // namespace nocunzip::unzip32
