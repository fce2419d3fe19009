// The decoder of each method on its own, for MakeDecoder and for the tests that check one
// implementation by name (the zlib inflate is the Windows build's, checked on Linux too).
// Each returns null when the method's library cannot set itself up (out of memory).
#pragma once

#include <memory>
#include <string>

#include "methods/decoder.h"

namespace nocunzip::unzip32 {

std::unique_ptr<Decoder> MakeStoredDecoder(const DecoderParams& params);
// ISA-L where the build has it, zlib elsewhere.
std::unique_ptr<Decoder> MakeDeflateDecoder(const DecoderParams& params);
std::unique_ptr<Decoder> MakeZlibDeflateDecoder(const DecoderParams& params);
std::unique_ptr<Decoder> MakeDeflate64Decoder(const DecoderParams& params);
std::unique_ptr<Decoder> MakeBzip2Decoder(const DecoderParams& params);
std::unique_ptr<Decoder> MakeLzmaDecoder(const DecoderParams& params);
std::unique_ptr<Decoder> MakeXzDecoder(const DecoderParams& params);
std::unique_ptr<Decoder> MakeZstdDecoder(const DecoderParams& params);

// The words of Problem() for data that cannot be decoded.
inline constexpr const char* kDamaged = "the compressed data is damaged";

// The most memory that a decoder's window or dictionary may take, whatever the entry's
// header asks for: enough for everything that common tools write (xz -9 and 7-Zip's
// largest usual LZMA settings need 64 MiB, zstd up to level 19 8 MiB), while a hostile
// header cannot make the library take gigabytes. A 32-bit process gets less, as its
// address space is small.
inline constexpr uint64_t kMaxDecoderMemory =
    sizeof(void*) == 4 ? uint64_t{256} << 20 : uint64_t{512} << 20;

std::string TooMuchMemory(uint64_t needed);

}  // namespace nocunzip::unzip32
