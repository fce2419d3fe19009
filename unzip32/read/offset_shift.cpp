#include "read/offset_shift.h"

namespace nocunzip::unzip32 {

bool ApplyShift(uint64_t offset, int64_t shift, uint64_t* shifted) {
  if (shift >= 0) {
    if (offset > UINT64_MAX - static_cast<uint64_t>(shift)) return false;
    *shifted = offset + static_cast<uint64_t>(shift);
    return true;
  }
  const uint64_t back = static_cast<uint64_t>(-(shift + 1)) + 1;
  if (offset < back) return false;
  *shifted = offset - back;
  return true;
}

}  // namespace nocunzip::unzip32
