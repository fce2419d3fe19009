// Decodes the data of one opened entry into a sink, checking its size and CRC.
//
// Entries that fit a bounded buffer and are plainly deflated are read raw and inflated in
// one go with libdeflate, which is about twice as fast as zlib's streaming inflate; every
// other entry (larger, encrypted, other methods) streams through libzip in a fixed
// buffer (AES entries are inflated here with zlib, see ChooseDecodeWay). Either way memory stays
// bounded, and no more than the declared size is ever passed on. Decoding touches no callback, so
// it may run off the calling thread.
#pragma once

#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "output.h"
#include "report.h"

struct libdeflate_decompressor;

namespace nocunzip::unzip32 {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual IoResult Write(const unsigned char* data, size_t size) = 0;
};

// The largest entry (compressed and uncompressed) that is inflated in one buffer.
inline constexpr uint64_t kWholeBufferLimit = 8u << 20;
// The buffer that streamed entries pass through.
inline constexpr size_t kStreamBufferSize = 256u << 10;

enum class DecodeWay {
  kLibzipStream,  // libzip decrypts, decompresses and checks the CRC
  kWholeDeflate,  // raw deflate data inflated in one buffer with libdeflate
  kRawDeflate,    // raw deflate data inflated in a stream with zlib
};
// Deflated entries, unencrypted or AES, are read raw: libzip's own inflate and CRC layers
// cost about a third more time than zlib's inflate alone on large entries.

// How `facts` is decoded. Raw data is read with ZIP_FL_COMPRESSED (still decrypted and,
// for AES, authenticated by libzip). AES entries always go raw: libzip 1.7.3 checks the
// CRC of deflated AE-2 entries, whose CRC field is zero, and so refuses sound ones.
DecodeWay ChooseDecodeWay(const EntryFacts& facts);
zip_flags_t OpenFlagsFor(DecodeWay way);

// Buffers reused from entry to entry; one set per thread that decodes.
class DecodeBuffers {
 public:
  DecodeBuffers();
  ~DecodeBuffers();
  DecodeBuffers(const DecodeBuffers&) = delete;
  DecodeBuffers& operator=(const DecodeBuffers&) = delete;

  std::vector<unsigned char> stream;
  std::vector<unsigned char> compressed_stream;
  std::vector<unsigned char> raw;
  std::vector<unsigned char> inflated;
  libdeflate_decompressor* decompressor = nullptr;
};

struct DecodeResult {
  enum Status { kOk, kCorrupt, kWriteFailed, kDiskFull };
  Status status = kOk;
  std::string message;  // why the entry failed, for a person
  bool ok() const { return status == kOk; }
};

// Decodes `file`, opened for `facts` with OpenFlagsFor(ChooseDecodeWay(facts)), into `sink`.
DecodeResult DecodeEntry(zip_file_t* file, const EntryFacts& facts, ByteSink& sink,
                         DecodeBuffers& buffers);

}  // namespace nocunzip::unzip32
