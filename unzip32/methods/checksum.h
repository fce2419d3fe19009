// The CRC-32 of ZIP entries: ISA-L's where the build has it (folding with carry-less
// multiplication, several times zlib's speed), zlib's elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nocunzip::unzip32 {

// `crc` continued over `size` bytes at `data`; start with 0.
uint32_t Crc32(uint32_t crc, const unsigned char* data, size_t size);

}  // namespace nocunzip::unzip32
