// Decodes the data of one entry into a sink, decrypting it where it is encrypted and checking
// its size, its CRC and, for AES, its authentication code.
//
// Unencrypted stored data is copied in large pieces (read and checked on one thread, written
// on a second one where the sink allows), and unencrypted deflated data that fits a bounded
// buffer is inflated in one go by the deflate decoder (ISA-L's inflate where the build has
// it, zlib's elsewhere). Every other entry streams through fixed buffers: pieces of the
// archive are read, decrypted and handed to the method's decoder (methods/decoder.h), and
// what it produces is checked and written, on a second thread where the sink allows (the
// ways themselves: decode_ways.h). Either way memory stays bounded, and no more than the
// declared size is ever passed on. Decoding touches no callback, so it may run off the
// calling thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "disk/output.h"
#include "decrypt/cipher.h"
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

// Buffers and a decoder reused from entry to entry; one set per thread that decodes. What
// they hold is the ways of decoding's own (decode_ways.h).
class DecodeBuffers {
 public:
  // `threads` sets of buffers live at once: each inflates in one buffer entries of up to a
  // share of a fixed whole, so that together, with the buffers of streamed entries that
  // every thread has too, they stay within the run's memory.
  explicit DecodeBuffers(unsigned threads = 1);
  ~DecodeBuffers();
  DecodeBuffers(const DecodeBuffers&) = delete;
  DecodeBuffers& operator=(const DecodeBuffers&) = delete;

  struct Workspace;
  Workspace& workspace() { return *workspace_; }

 private:
  std::unique_ptr<Workspace> workspace_;
};

struct DecodeResult {
  enum Status { kOk, kCorrupt, kWriteFailed, kDiskFull };
  Status status = kOk;
  std::string message;  // why the entry failed, for a person
  bool ok() const { return status == kOk; }
};

// The result of writing decoded bytes to a sink: ok, or why the entry failed.
DecodeResult WriteResult(const IoResult& written);

// Decodes `entry`, whose data (after its local header) begins at `data_offset` of
// `archive`, into `sink`. `cipher` is null for unencrypted entries; for encrypted ones it is
// started with the right password already (EntryUnlocker): its header is skipped here, the
// data decrypted and, for AES, the authentication code checked before success is declared.
DecodeResult DecodeEntry(ByteReader& archive, uint64_t data_offset, const Entry& entry,
                         Cipher* cipher, ByteSink& sink, DecodeBuffers& buffers);

}  // namespace nocunzip::unzip32
