#include "methods/decoder.h"

#include "methods/decoder_methods.h"

namespace nocunzip::unzip32 {
namespace {

enum Method : uint16_t {
  kStored = 0,
  kShrunk = 1,
  kImploded = 6,
  kDeflate = 8,
  kDeflate64 = 9,
  kBzip2 = 12,
  kLzma = 14,
  kZstandard = 93,
  kXz = 95,
  kJpeg = 96,
  kWavPack = 97,
  kPpmd = 98,
  kAes = 99,
};

}  // namespace

std::unique_ptr<Decoder> MakeDecoder(const DecoderParams& params) {
  switch (params.method) {
    case kStored:
      return MakeStoredDecoder(params);
    case kDeflate:
      return MakeDeflateDecoder(params);
    case kDeflate64:
      return MakeDeflate64Decoder(params);
    case kBzip2:
      return MakeBzip2Decoder(params);
    case kLzma:
      return MakeLzmaDecoder(params);
    case kXz:
      return MakeXzDecoder(params);
    case kZstandard:
      return MakeZstdDecoder(params);
    default:
      return nullptr;
  }
}

bool IsMethodSupported(uint16_t method) {
  switch (method) {
    case kStored:
    case kDeflate:
    case kDeflate64:
    case kBzip2:
    case kLzma:
    case kXz:
    case kZstandard:
      return true;
    default:
      return false;
  }
}

std::string MethodName(uint16_t method) {
  switch (method) {
    case kStored:
      return "Stored";
    case kShrunk:
      return "Shrunk";
    case kImploded:
      return "Imploded";
    case kDeflate:
      return "Deflate";
    case kDeflate64:
      return "Deflate64";
    case kBzip2:
      return "BZip2";
    case kLzma:
      return "LZMA";
    case kZstandard:
      return "Zstandard";
    case kXz:
      return "XZ";
    case kJpeg:
      return "JPEG";
    case kWavPack:
      return "WavPack";
    case kPpmd:
      return "PPMd";
    case kAes:
      return "AES";
    default:
      return "method " + std::to_string(method);
  }
}

std::string TooMuchMemory(uint64_t needed) {
  return "the compressed data needs " + std::to_string((needed + (1 << 20) - 1) >> 20) +
         " MiB of memory, more than the " + std::to_string(kMaxDecoderMemory >> 20) +
         " MiB allowed";
}

}  // namespace nocunzip::unzip32
