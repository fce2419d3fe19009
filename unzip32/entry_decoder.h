// Decodes the data of one entry into a sink, checking its size and CRC.
//
// Unencrypted stored and deflated entries are read straight from the archive file at their
// data offset, through a handle of their own rather than libzip's: stored data is copied
// in large pieces (inside the system where the sink can, with the CRC computed on a second
// thread meanwhile), and deflated data that fits a bounded buffer is inflated in one go with
// libdeflate, about twice as fast as zlib's streaming inflate. Every other entry (larger,
// encrypted, other methods) streams through a fixed buffer (AES entries are decrypted by
// libzip and inflated here with zlib, see ChooseDecodeWay). Either way memory stays bounded,
// and no more than the declared size is ever passed on. Decoding touches no callback, so it
// may run off the calling thread.
#pragma once

#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "archive_source.h"
#include "output.h"
#include "report.h"

struct libdeflate_decompressor;

namespace nocunzip::unzip32 {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual IoResult Write(const unsigned char* data, size_t size) = 0;
  // Whether Write may be called on another thread than the one that decodes (one thread
  // at a time, in order): true for sinks that touch no callback.
  virtual bool WritesOffThread() const { return false; }
  // Whether CopyRange works: the sink can take bytes of the archive file unchanged, without
  // their passing through this process. CopyRange may run on another thread than Write.
  virtual bool CopiesRanges() const { return false; }
  virtual IoResult CopyRange(uint64_t /*offset*/, uint64_t /*length*/) {
    return {IoResult::kFailed, "cannot copy from the archive"};
  }
};

// The largest entry (compressed and uncompressed) that is inflated in one buffer.
inline constexpr uint64_t kWholeBufferLimit = 4u << 20;
// The buffer that streamed entries pass through.
inline constexpr size_t kStreamBufferSize = 256u << 10;

// Stored entries at least this large are copied and checked on two threads at once.
inline constexpr uint64_t kParallelCopyMinimum = 4u << 20;

enum class DecodeWay {
  kLibzipStream,  // libzip decrypts, decompresses and checks the CRC
  kStored,        // unencrypted stored data, read straight from the archive
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
// True when the entry's data is read from the archive file itself, with no libzip handle
// (unencrypted stored and deflated entries).
bool ReadsArchiveDirectly(const EntryFacts& facts);

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

// Where the data of an entry comes from.
struct EntryData {
  // libzip's reader, opened with OpenFlagsFor(ChooseDecodeWay(facts)); null when the entry
  // ReadsArchiveDirectly.
  zip_file_t* file = nullptr;
  // The archive file and the offset of the entry's data, for entries that ReadsArchiveDirectly.
  ByteReader* archive = nullptr;
  uint64_t offset = 0;
};

// The result of writing decoded bytes to a sink.
DecodeResult WriteResult(const IoResult& written);

// Decodes the entry of `facts` from `data` into `sink`.
DecodeResult DecodeEntry(const EntryData& data, const EntryFacts& facts, ByteSink& sink,
                         DecodeBuffers& buffers);

}  // namespace nocunzip::unzip32
