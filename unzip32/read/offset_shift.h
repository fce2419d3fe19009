// Moves an offset that the archive records by the archive's shift (what was put in front
// of it, or taken away), without leaving the range of offsets: the shift and the offset
// both come from the file, so their sum may overflow.
#pragma once

#include <cstdint>

namespace nocunzip::unzip32 {

// `offset` moved by `shift` into `shifted`; false when that leaves the range of offsets.
bool ApplyShift(uint64_t offset, int64_t shift, uint64_t* shifted);

}  // namespace nocunzip::unzip32
