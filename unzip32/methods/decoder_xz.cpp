// XZ with liblzma's stream decoder, which also checks the stream's own CRC32, CRC64 or
// SHA-256. One stream an entry, as ZIP tools write it.
#include <lzma.h>

#include "methods/decoder_methods.h"

namespace nocunzip::unzip32 {
namespace {

class XzDecoder final : public Decoder {
 public:
  XzDecoder() = default;
  ~XzDecoder() override { lzma_end(&strm_); }
  XzDecoder(const XzDecoder&) = delete;
  XzDecoder& operator=(const XzDecoder&) = delete;

  // Restarting on the same lzma_stream keeps what liblzma allocated where it can.
  bool Start() {
    ended_ = failed_ = false;
    return lzma_stream_decoder(&strm_, kMaxDecoderMemory, 0) == LZMA_OK;
  }

  DecodeStep Decode(std::span<const unsigned char> input, std::span<unsigned char> output,
                    bool /*input_ends*/) override {
    DecodeStep step;
    if (ended_ || failed_) {
      step.status = ended_ ? DecodeStatus::kEnd : DecodeStatus::kCorrupt;
      return step;
    }
    strm_.next_in = input.data();
    strm_.avail_in = input.size();
    strm_.next_out = output.data();
    strm_.avail_out = output.size();
    const lzma_ret rc = lzma_code(&strm_, LZMA_RUN);
    step.consumed = input.size() - strm_.avail_in;
    step.produced = output.size() - strm_.avail_out;
    if (rc == LZMA_STREAM_END) {
      ended_ = true;
      step.status = DecodeStatus::kEnd;
    } else if (rc != LZMA_OK && rc != LZMA_BUF_ERROR) {
      failed_ = true;
      problem_ = rc == LZMA_MEMLIMIT_ERROR ? TooMuchMemory(lzma_memusage(&strm_))
                 : rc == LZMA_MEM_ERROR    ? "out of memory"
                 : rc == LZMA_UNSUPPORTED_CHECK
                     ? "the compressed data uses an integrity check that is not supported"
                     : kDamaged;
      step.status = DecodeStatus::kCorrupt;
    }
    return step;
  }

  std::string Problem() const override { return failed_ ? problem_ : ""; }

  bool Reset(const DecoderParams& /*params*/) override { return Start(); }

 private:
  lzma_stream strm_ = LZMA_STREAM_INIT;
  bool ended_ = false;
  bool failed_ = false;
  std::string problem_;
};

}  // namespace

std::unique_ptr<Decoder> MakeXzDecoder(const DecoderParams& /*params*/) {
  auto decoder = std::make_unique<XzDecoder>();
  if (!decoder->Start()) return nullptr;
  return decoder;
}

}  // namespace nocunzip::unzip32
