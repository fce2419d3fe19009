#include "methods/decoder.h"

#include "methods/decoder_methods.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {

using namespace zip;

std::unique_ptr<Decoder> MakeDecoder(const DecoderParams& params) {
  switch (params.method) {
    case kMethodStored:
      return MakeStoredDecoder(params);
    case kMethodDeflate:
      return MakeDeflateDecoder(params);
    case kMethodDeflate64:
      return MakeDeflate64Decoder(params);
    case kMethodBzip2:
      return MakeBzip2Decoder(params);
    case kMethodLzma:
      return MakeLzmaDecoder(params);
    case kMethodXz:
      return MakeXzDecoder(params);
    case kMethodZstd:
      return MakeZstdDecoder(params);
    default:
      return nullptr;
  }
}

bool IsMethodSupported(uint16_t method) {
  switch (method) {
    case kMethodStored:
    case kMethodDeflate:
    case kMethodDeflate64:
    case kMethodBzip2:
    case kMethodLzma:
    case kMethodXz:
    case kMethodZstd:
      return true;
    default:
      return false;
  }
}

std::string TooMuchMemory(uint64_t needed) {
  return "the compressed data needs " + std::to_string((needed + (1 << 20) - 1) >> 20) +
         " MiB of memory, more than the " + std::to_string(kMaxDecoderMemory >> 20) +
         " MiB allowed";
}

}  // namespace nocunzip::unzip32
