#include "read/zip_format.h"

namespace nocunzip::unzip32 {

std::string MethodName(uint16_t method) {
  using namespace zip;
  switch (method) {
    case kMethodStored:
      return "Stored";
    case kMethodShrunk:
      return "Shrunk";
    case kMethodImploded:
      return "Imploded";
    case kMethodDeflate:
      return "Deflate";
    case kMethodDeflate64:
      return "Deflate64";
    case kMethodBzip2:
      return "BZip2";
    case kMethodLzma:
      return "LZMA";
    case kMethodZstd:
      return "Zstandard";
    case kMethodXz:
      return "XZ";
    case kMethodJpeg:
      return "JPEG";
    case kMethodWavPack:
      return "WavPack";
    case kMethodPpmd:
      return "PPMd";
    case kMethodAes:
      return "AES";
    default:
      return "method " + std::to_string(method);
  }
}

}  // namespace nocunzip::unzip32
