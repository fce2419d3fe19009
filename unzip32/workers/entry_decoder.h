// Decodes the data of one entry into a sink, decrypting it where it is encrypted and checking
// its size, its CRC and, for AES, its authentication code.
//
// Unencrypted stored data is copied in large pieces (read and checked on one thread, written
// on a second one where the sink allows), and unencrypted deflated data that
// fits a bounded buffer is inflated in one go by the deflate decoder (ISA-L's inflate where
// the build has it, zlib's elsewhere). Every other entry streams
// through fixed buffers: pieces of the archive are read, decrypted and handed to the
// method's decoder (decoder.h), and what it produces is checked and written, on a second
// thread where the sink allows. Either way memory stays bounded, and no more than the
// declared size is ever passed on. Decoding touches no callback, so it may run off the
// calling thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "commit/output.h"
#include "decrypt/cipher.h"
#include "methods/decoder.h"
#include "read/byte_reader.h"
#include "read/entry.h"

namespace nocunzip::unzip32 {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual IoResult Write(const unsigned char* data, size_t size) = 0;
  // Whether Write may be called on another thread than the one that decodes (one thread
  // at a time, in order): true for sinks that touch no callback.
  virtual bool WritesOffThread() const { return false; }
};

// Twice the most (compressed and uncompressed) that the threads of a run inflate in one
// buffer, all together (see DecodeBuffers); DecodeEntry's default alone.
inline constexpr uint64_t kWholeBufferLimit = 4u << 20;
// The buffer that streamed entries pass through.
inline constexpr size_t kStreamBufferSize = 256u << 10;
// The pieces of kStreamBufferSize bytes that wait at most to be written on a second thread.
inline constexpr size_t kWriteBehindPieces = 3;

// Stored entries at least this large are read and checked on one thread and written on a
// second one.
inline constexpr uint64_t kParallelCopyMinimum = 4u << 20;

enum class DecodeWay {
  kStored,        // unencrypted stored data, copied straight from the archive
  kWholeDeflate,  // unencrypted deflate data inflated in one buffer
  kStream,        // read, decrypted and decoded piece by piece
};

// How DecodeEntry decodes `entry` with buffers whose whole-buffer limit is `whole_limit`.
DecodeWay ChooseDecodeWay(const Entry& entry, uint64_t whole_limit = kWholeBufferLimit);

// Room for bytes that are written before they are read. It grows to the most it was asked
// for and, unlike a vector, never fills what it adds with zeros: entries of every size pass
// through it.
class ScratchBuffer {
 public:
  unsigned char* Reserve(size_t size) {
    if (size > capacity_) {
      bytes_.reset(new unsigned char[size]);
      capacity_ = size;
    }
    return bytes_.get();
  }

 private:
  std::unique_ptr<unsigned char[]> bytes_;
  size_t capacity_ = 0;
};

// Buffers and a decoder reused from entry to entry; one set per thread that decodes.
class DecodeBuffers {
 public:
  // `threads` sets of buffers live at once: each inflates in one buffer entries of up to
  // kWholeBufferLimit / (2 * threads), so that together, with the buffers of streamed
  // entries that every thread has too, they stay within the run's memory.
  explicit DecodeBuffers(unsigned threads = 1);
  ~DecodeBuffers();
  DecodeBuffers(const DecodeBuffers&) = delete;
  DecodeBuffers& operator=(const DecodeBuffers&) = delete;

  std::vector<unsigned char> stream;
  std::vector<unsigned char> compressed_stream;
  ScratchBuffer raw;
  ScratchBuffer inflated;
  // The pieces that wait to be written on a second thread, kept from entry to entry.
  std::array<std::vector<unsigned char>, kWriteBehindPieces> behind;
  // The decoder of the last streamed entry, reset for the next one of its method.
  std::unique_ptr<Decoder> decoder;
  uint16_t decoder_method = 0;
  uint64_t whole_limit;  // the largest entry inflated in one buffer
};

struct DecodeResult {
  enum Status { kOk, kCorrupt, kWriteFailed, kDiskFull };
  Status status = kOk;
  std::string message;  // why the entry failed, for a person
  bool ok() const { return status == kOk; }
};

// The result of writing decoded bytes to a sink.
DecodeResult WriteResult(const IoResult& written);

// Decodes `entry`, whose data (after its local header) begins at `data_offset` of
// `archive`, into `sink`. `cipher` is null for unencrypted entries; for encrypted ones it is
// started with the right password already (EntryUnlocker): its header is skipped here, the
// data decrypted and, for AES, the authentication code checked before success is declared.
DecodeResult DecodeEntry(ByteReader& archive, uint64_t data_offset, const Entry& entry,
                         Cipher* cipher, ByteSink& sink, DecodeBuffers& buffers);

}  // namespace nocunzip::unzip32
