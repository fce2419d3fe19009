// The ways in which DecodeEntry (entry_decoder.cpp) decodes an entry's data, and what they
// share: the buffers that a decoding thread keeps from entry to entry and the checks of
// what came out. Only the decoder's own files use this header.
//
// - DecodeStored (decode_stored.cpp): unencrypted stored data, copied in large pieces;
//   large entries are read and checked on this thread and written on a second one.
// - InflateWhole (decode_streamed.cpp): unencrypted deflate data that fit a bounded
//   buffer, inflated in one call.
// - DecodeStreamed (decode_streamed.cpp): everything else, piece by piece through fixed
//   buffers: read, decrypted, decoded, checked and written (on a second thread for large
//   entries).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decrypt/cipher.h"
#include "methods/decoder.h"
#include "read/byte_reader.h"
#include "read/entry.h"
#include "workers/entry_decoder.h"
#include "workers/write_behind.h"

namespace nocunzip::unzip32 {

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

struct DecodeBuffers::Workspace {
  std::vector<unsigned char> stream;
  std::vector<unsigned char> compressed_stream;
  ScratchBuffer raw;
  ScratchBuffer inflated;
  // The pieces that wait to be written on a second thread.
  WriteBehind::Pieces behind;
  // The decoder of the last streamed entry, reset for the next one of its method.
  std::unique_ptr<Decoder> decoder;
  uint16_t decoder_method = 0;
  uint64_t whole_limit = 0;  // the largest entry inflated in one buffer
};
using DecodeWorkspace = DecodeBuffers::Workspace;

inline constexpr char kLonger[] = "the data is longer than its declared size";
inline constexpr char kCutShort[] = "the data ends early: the archive is cut short";

DecodeResult Corrupt(std::string message);
// Data that came out `size` bytes long, short of the entry's declared size.
DecodeResult Shorter(uint64_t size, const Entry& entry);
// Whether `size` bytes with CRC `crc` are what the entry declares.
DecodeResult CheckResult(const Entry& entry, uint64_t size, uint32_t crc);

DecodeResult DecodeStored(ByteReader& archive, uint64_t offset, const Entry& entry, ByteSink& sink,
                          DecodeWorkspace& buffers);
DecodeResult InflateWhole(ByteReader& archive, uint64_t offset, const Entry& entry, ByteSink& sink,
                          DecodeWorkspace& buffers);
// `cipher` is null for unencrypted data.
DecodeResult DecodeStreamed(ByteReader& archive, uint64_t offset, const Entry& entry,
                            Cipher* cipher, ByteSink& sink, DecodeWorkspace& buffers);

}  // namespace nocunzip::unzip32
