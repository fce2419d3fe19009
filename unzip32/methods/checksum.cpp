#include "methods/checksum.h"

#include <zlib.h>

#ifdef UNZIP32_HAVE_ISAL
#include <isa-l/crc.h>
#endif

#include <algorithm>
#include <climits>

namespace nocunzip::unzip32 {

uint32_t Crc32(uint32_t crc, const unsigned char* data, size_t size) {
  // Both count in 32 bits: larger spans are taken a part at a time.
  while (size > 0) {
    const auto part = static_cast<unsigned>(std::min<size_t>(size, UINT_MAX));
#ifdef UNZIP32_HAVE_ISAL
    crc = crc32_gzip_refl(crc, data, part);
#else
    crc = static_cast<uint32_t>(crc32(crc, data, part));
#endif
    data += part;
    size -= part;
  }
  return crc;
}

}  // namespace nocunzip::unzip32
