// Random access to the bytes of an archive: the one interface through which the reader, the
// decoders and the tests see an archive, whether a file or bytes in memory.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nocunzip::unzip32 {

class ByteReader {
 public:
  virtual ~ByteReader() = default;
  virtual uint64_t size() const = 0;
  // Reads exactly `length` bytes at `offset`; false when they are not all there.
  virtual bool ReadAt(uint64_t offset, void* buffer, size_t length) = 0;
};

}  // namespace nocunzip::unzip32
