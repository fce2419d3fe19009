// Decoders: one per compression method, behind one small interface. A decoder turns the
// compressed bytes of one entry into its contents, piece by piece, with memory bounded
// whatever the entry's size; it knows nothing of files, ciphers or checksums.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace nocunzip::unzip32 {

enum class DecodeStatus {
  kMore,     // give more input or more room
  kEnd,      // the data ended: no more output will come
  kCorrupt,  // the data cannot be decoded; Problem() says why
};

struct DecodeStep {
  size_t consumed = 0;  // bytes of input used
  size_t produced = 0;  // bytes written to the output
  // With kEnd: bytes of earlier calls' input that turn out not to be the data's, given back
  // (a decoder that reads ahead counts them consumed until it finds where the data end).
  size_t given_back = 0;
  DecodeStatus status = DecodeStatus::kMore;
};

// What a decoder needs to know of its entry.
struct DecoderParams {
  uint16_t method = 0;
  uint16_t flags = 0;  // general purpose flags: bit 1 says whether LZMA data ends with a marker
  uint64_t compressed_size = 0;  // of the data alone, without encryption header or trailer
  uint64_t uncompressed_size = 0;
};

class Decoder {
 public:
  virtual ~Decoder() = default;
  // Decodes from `input` into `output`. `input_ends` says that no input follows what is
  // given. A call uses what it can of both; once it returns kEnd the data is complete (bytes
  // of input that follow it are not its business). A call that returns kMore although it
  // consumed and produced nothing, with `input_ends` set and room in `output`, means that
  // the data ends early.
  virtual DecodeStep Decode(std::span<const unsigned char> input, std::span<unsigned char> output,
                            bool input_ends) = 0;
  // Why the data was refused, in words for a person ("the compressed data is damaged").
  virtual std::string Problem() const = 0;
  // Makes the decoder ready for the data of another entry of the same method, keeping what
  // it allocated; false when it cannot, and a new decoder is needed.
  virtual bool Reset(const DecoderParams& /*params*/) { return false; }
};

// A decoder for `params.method`, or null when the method is not supported.
std::unique_ptr<Decoder> MakeDecoder(const DecoderParams& params);
bool IsMethodSupported(uint16_t method);

}  // namespace nocunzip::unzip32
