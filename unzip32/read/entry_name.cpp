#include "read/entry_name.h"

#include <zlib.h>

#include "read/extra_fields.h"
#include "read/zip_format.h"
#include "read/oem_code_page.h"
#include "read/utf8.h"

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

// The ASCII characters of `text` in their order, each run of other characters standing as
// one placeholder: what a Unicode path field must keep of the name that it re-spells.
std::string AsciiSkeleton(std::string_view text) {
  constexpr char kPlaceholder = '\x80';
  std::string skeleton;
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 0x80) {
      skeleton += c;
    } else if (skeleton.empty() || skeleton.back() != kPlaceholder) {
      skeleton += kPlaceholder;
    }
  }
  return skeleton;
}

// Whether the field's `unicode` name is a re-spelling of the stored name `raw` as a
// reader that ignores the field decodes it: flagged UTF-8 leaves nothing to re-spell, and
// otherwise only the characters outside ASCII may change, a run of them for a run (one
// code-page byte may stand for several characters). ASCII characters, separators and so
// the components stay, so a reader that goes by the field and one that does not write the
// same path but for the spelling of its non-ASCII characters.
bool RespellsOnly(std::string_view raw, uint16_t flags, std::string_view unicode) {
  if (flags & zip::kFlagUtf8) return unicode == raw;
  return AsciiSkeleton(unicode) == AsciiSkeleton(DecodeEntryName(raw, flags, {}));
}

}  // namespace

bool FindUnicodePathField(std::string_view extra, std::string_view raw, uint16_t flags,
                          std::string_view* field, std::string* problem) {
  const FieldsOfId found = FindExtraFields(extra, zip::kExtraUnicodePath);
  *field = found.first;
  // Several fields are refused with the other repeated fields (RepeatedExtraField).
  if (found.count > 0 && (found.first.empty() || found.first[0] != kUnicodePathVersion)) {
    *problem = "carries a Unicode path field of an unknown version, which readers read differently";
    return false;
  }
  // The field is there for the characters that the stored bytes cannot spell. A field that
  // changes more is a second name: readers that go by the field write it, the others the
  // stored one.
  const std::string_view unicode = UnicodePathName(raw, found.first);
  if (!unicode.empty() && !RespellsOnly(raw, flags, unicode)) {
    *problem = "carries a Unicode path field that names it " + std::string(unicode) +
               ", which is more than another spelling of its stored name: readers that go by "
               "the field write another path";
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
