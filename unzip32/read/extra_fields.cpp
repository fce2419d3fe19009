#include "read/extra_fields.h"

namespace nocunzip::unzip32 {

FieldsOfId FindExtraFields(std::string_view extra, uint16_t id) {
  FieldsOfId found;
  ForEachExtraField(extra, [&](const ExtraField& field) {
    if (field.id != id) return;
    if (found.count++ == 0) found.first = field.data;
  });
  return found;
}

}  // namespace nocunzip::unzip32
