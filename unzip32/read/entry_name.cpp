#include "read/entry_name.h"

#include <zlib.h>

#include "read/extra_fields.h"
#include "read/little_endian.h"
#include "read/oem_code_page.h"
#include "read/utf8.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

constexpr unsigned char kUnicodePathVersion = 1;
constexpr size_t kUnicodePathHeader = 5;  // version, CRC-32 of the stored name

uint32_t Crc32(std::string_view bytes) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

// The name that the 0x7075 field carries, when it is one that applies to `raw`; else empty.
std::string_view UnicodePathName(std::string_view raw, std::string_view field) {
  if (field.size() <= kUnicodePathHeader) return {};
  const auto* bytes = reinterpret_cast<const unsigned char*>(field.data());
  if (bytes[0] != kUnicodePathVersion || Get32(bytes + 1) != Crc32(raw)) return {};
  std::string_view name = field.substr(kUnicodePathHeader);
  return IsValidUtf8(name) ? name : std::string_view();
}

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

bool FindUnicodePathField(std::string_view extra, std::string_view raw, uint16_t flags,
                          std::string_view* field, std::string* problem) {
  const FieldsOfId found = FindExtraFields(extra, zip::kExtraUnicodePath);
  *field = found.first;
  if (found.count > 1) {
    *problem = "carries " + std::to_string(found.count) +
               " Unicode path fields, which readers choose between differently";
    return false;
  }
  if (found.count == 1 && (found.first.empty() || found.first[0] != kUnicodePathVersion)) {
    *problem = "carries a Unicode path field of an unknown version, which readers read differently";
    return false;
  }
  // The field is there for names that the stored bytes cannot spell. Where they spell it
  // already (UTF-8 by the flag, or plain ASCII on both sides), another name in the field
  // is a second name: readers that go by the field write it, the others the stored one.
  const std::string_view unicode = UnicodePathName(raw, found.first);
  const bool spelled = (flags & zip::kFlagUtf8) != 0 || (IsAscii(raw) && IsAscii(unicode));
  if (spelled && !unicode.empty() && unicode != raw) {
    *problem = "carries a Unicode path field that names it " + std::string(unicode) +
               " although its stored name spells it already: readers that go by the field "
               "write another name";
    return false;
  }
  return true;
}

std::string DecodeEntryName(std::string_view raw, uint16_t flags,
                            std::string_view unicode_path_field) {
  if (flags & zip::kFlagUtf8) return RepairUtf8(raw);
  const std::string_view unicode = UnicodePathName(raw, unicode_path_field);
  if (!unicode.empty()) return std::string(unicode);
  if (IsValidUtf8(raw)) return std::string(raw);
  return OemToUtf8(raw);
}

}  // namespace nocunzip::unzip32
