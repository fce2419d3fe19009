#include "read/archive_file.h"

#include <algorithm>
#include <cstring>

namespace nocunzip::unzip32 {

bool WindowedReader::Read(uint64_t offset, void* out, size_t length) {
  if (length == 0) return offset <= reader_.size();
  if (length > window_.size()) return reader_.ReadAt(offset, out, length);
  if (offset < base_ || offset - base_ > filled_ || filled_ - (offset - base_) < length) {
    if (offset > reader_.size()) return false;
    const uint64_t available = reader_.size() - offset;
    const auto want = static_cast<size_t>(std::min<uint64_t>(window_.size(), available));
    if (want < length || !reader_.ReadAt(offset, window_.data(), want)) return false;
    base_ = offset;
    filled_ = want;
  }
  std::memcpy(out, window_.data() + (offset - base_), length);
  return true;
}

}  // namespace nocunzip::unzip32
