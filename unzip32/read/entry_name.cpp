#include "read/entry_name.h"

#include <zlib.h>

#include "read/extra_fields.h"
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

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed sequence at the start of `text`, or 0 when there is none.
size_t SequenceLength(std::string_view text) {
  const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  size_t length = 0;
  // The bounds of the second byte rule out overlong forms, surrogates and values above
  // U+10FFFF.
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if (!IsContinuation(byte(i))) return 0;
  }
  return length;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  while (!text.empty()) {
    const size_t length = SequenceLength(text);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

std::string RepairUtf8(std::string_view text) {
  std::string repaired;
  repaired.reserve(text.size());
  while (!text.empty()) {
    const size_t length = SequenceLength(text);
    if (length == 0) {
      AppendUtf8(kReplacementCharacter, &repaired);
      text.remove_prefix(1);
    } else {
      repaired.append(text.substr(0, length));
      text.remove_prefix(length);
    }
  }
  return repaired;
}

void AppendUtf8(char32_t code_point, std::string* out) {
  if ((code_point >= 0xD800 && code_point <= 0xDFFF) || code_point > 0x10FFFF)
    code_point = kReplacementCharacter;
  const auto put = [out](char32_t bits) { out->push_back(static_cast<char>(bits)); };
  if (code_point < 0x80) {
    put(code_point);
  } else if (code_point < 0x800) {
    put(0xC0 | (code_point >> 6));
    put(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    put(0xE0 | (code_point >> 12));
    put(0x80 | ((code_point >> 6) & 0x3F));
    put(0x80 | (code_point & 0x3F));
  } else {
    put(0xF0 | (code_point >> 18));
    put(0x80 | ((code_point >> 12) & 0x3F));
    put(0x80 | ((code_point >> 6) & 0x3F));
    put(0x80 | (code_point & 0x3F));
  }
}

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Calls `visit` with each component of `name` between separators, empty ones included.
template <typename Visit>
void ForEachComponent(std::string_view name, Visit visit) {
  size_t start = 0;
  for (;;) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    visit(name.substr(start, end - start));
    if (end == name.size()) return;
    start = end + 1;
  }
}

}  // namespace

std::string NormalisedPath(std::string_view name) {
  std::string path;
  path.reserve(name.size());
  ForEachComponent(name, [&](std::string_view part) {
    if (part.empty() || part == ".") return;
    if (!path.empty()) path += '/';
    path += part;
  });
  return path;
}

std::vector<std::string> PathsWithoutDotDot(std::string_view normalised) {
  if (normalised.find("..") == std::string_view::npos) return {};
  std::vector<std::string_view> dropped, resolved;
  bool dotted = false;
  ForEachComponent(normalised, [&](std::string_view part) {
    if (part != "..") {
      dropped.push_back(part);
      resolved.push_back(part);
      return;
    }
    dotted = true;
    if (!resolved.empty()) resolved.pop_back();
  });
  std::vector<std::string> paths;
  if (!dotted) return paths;
  for (const auto& parts : {dropped, resolved}) {
    std::string path;
    for (const std::string_view part : parts) {
      if (!path.empty()) path += '/';
      path += part;
    }
    if (!path.empty() && (paths.empty() || paths.back() != path)) paths.push_back(std::move(path));
  }
  return paths;
}

bool NameMarksDirectory(std::string_view name) {
  if (name.empty()) return false;
  if (IsSeparator(name.back())) return true;
  std::string_view last;
  ForEachComponent(name, [&](std::string_view part) { last = part; });
  return last == ".";
}

uint64_t HashKey(std::string_view key) {
  // FNV-1a, then a finalizer that spreads every input bit over the whole word.
  uint64_t hash = 0xcbf29ce484222325u;
  for (const char c : key) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
  hash ^= hash >> 33;
  hash *= 0xff51afd7ed558ccdu;
  hash ^= hash >> 33;
  hash *= 0xc4ceb9fe1a85ec53u;
  hash ^= hash >> 33;
  return hash;
}

}  // namespace nocunzip::unzip32
