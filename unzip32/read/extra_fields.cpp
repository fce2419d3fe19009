#include "read/extra_fields.h"

#include <array>
#include <cstdio>

#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

struct InterpretedField {
  uint16_t id;
  const char* name;
};

constexpr std::array<InterpretedField, 5> kInterpreted = {{
    {zip::kExtraZip64, "zip64"},
    {zip::kExtraUnicodePath, "Unicode path"},
    {zip::kExtraAes, "AES"},
    {zip::kExtraExtendedTimestamp, "extended timestamp"},
    {zip::kExtraNtfs, "NTFS"},
}};

}  // namespace

FieldsOfId FindExtraFields(std::string_view extra, uint16_t id) {
  FieldsOfId found;
  ForEachExtraField(extra, [&](const ExtraField& field) {
    if (field.id != id) return;
    if (found.count++ == 0) found.first = field.data;
  });
  return found;
}

std::string RepeatedExtraField(std::string_view extra) {
  std::array<unsigned, kInterpreted.size()> seen{};
  const InterpretedField* repeated = nullptr;
  ForEachExtraField(extra, [&](const ExtraField& field) {
    for (size_t i = 0; i < kInterpreted.size(); ++i) {
      if (kInterpreted[i].id == field.id && ++seen[i] == 2 && !repeated)
        repeated = &kInterpreted[i];
    }
  });
  if (!repeated) return {};
  char hex[8];
  snprintf(hex, sizeof hex, "0x%04x", repeated->id);
  return std::string("carries more than one ") + repeated->name + " (" + hex +
         ") field, of which readers take different ones";
}

}  // namespace nocunzip::unzip32
