// The extra fields of a ZIP record: a list of (id, length, data) that local headers and
// central records carry after the name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "read/zip_format.h"

namespace nocunzip::unzip32 {

struct ExtraField {
  uint16_t id = 0;
  std::string_view data;
};

// Calls `visit` for each extra field, up to the first one that claims more bytes than are
// left (and ignoring a trailing piece too short to be a field: some writers pad with zeros).
template <typename Visit>
void ForEachExtraField(std::string_view extra, Visit visit) {
  size_t at = 0;
  while (extra.size() - at >= 4) {
    const auto* p = reinterpret_cast<const unsigned char*>(extra.data() + at);
    const uint16_t size = Get16(p + 2);
    if (extra.size() - at - 4 < size) return;
    visit(ExtraField{Get16(p), extra.substr(at + 4, size)});
    at += 4 + size;
  }
}

// The fields of one id in `extra`: how many there are, and the data of the first.
struct FieldsOfId {
  size_t count = 0;
  std::string_view first;
};
FieldsOfId FindExtraFields(std::string_view extra, uint16_t id);

// Why `extra` reads two ways, empty when it does not: it carries one of the fields that
// this reader interprets (zip64, Unicode path, AES, the extended timestamp, NTFS) more than
// once, and readers take the first or the last of them. The text names the field, e.g.
// "carries more than one AES (0x9901) field, ...".
std::string RepeatedExtraField(std::string_view extra);

}  // namespace nocunzip::unzip32
