// Deflate: ISA-L's inflate where the build has it (about three times zlib's speed), zlib's
// raw inflate elsewhere. Neither computes a checksum: the entry's CRC is checked by the
// caller over what comes out.
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdint>

#include "methods/decoder_methods.h"

#ifdef UNZIP32_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

namespace nocunzip::unzip32 {
namespace {

// Both libraries count in 32 bits: of larger spans a call takes the first 4 GiB.
uint32_t Clamp(size_t n) { return static_cast<uint32_t>(std::min<size_t>(n, UINT32_MAX)); }

class ZlibDeflateDecoder final : public Decoder {
 public:
  ZlibDeflateDecoder() = default;
  ~ZlibDeflateDecoder() override {
    if (ready_) inflateEnd(&z_);
  }
  ZlibDeflateDecoder(const ZlibDeflateDecoder&) = delete;
  ZlibDeflateDecoder& operator=(const ZlibDeflateDecoder&) = delete;

  bool Init() {
    ready_ = inflateInit2(&z_, -MAX_WBITS) == Z_OK;  // raw deflate, 32 KiB window
    return ready_;
  }

  DecodeStep Decode(std::span<const unsigned char> input, std::span<unsigned char> output,
                    bool /*input_ends*/) override {
    DecodeStep step;
    if (ended_) {
      step.status = DecodeStatus::kEnd;
      return step;
    }
    if (failed_) {
      step.status = DecodeStatus::kCorrupt;
      return step;
    }
    z_.next_in = const_cast<Bytef*>(input.data());
    z_.avail_in = Clamp(input.size());
    z_.next_out = output.data();
    z_.avail_out = Clamp(output.size());
    const uInt given_in = z_.avail_in, given_out = z_.avail_out;
    const int rc = inflate(&z_, Z_NO_FLUSH);
    step.consumed = given_in - z_.avail_in;
    step.produced = given_out - z_.avail_out;
    if (rc == Z_STREAM_END) {
      ended_ = true;
      step.status = DecodeStatus::kEnd;
    } else if (rc == Z_OK || rc == Z_BUF_ERROR) {
      step.status = DecodeStatus::kMore;
    } else {
      failed_ = true;
      step.status = DecodeStatus::kCorrupt;
    }
    return step;
  }

  std::string Problem() const override { return failed_ ? kDamaged : ""; }

  bool Reset(const DecoderParams& /*params*/) override {
    if (!ready_ || inflateReset(&z_) != Z_OK) return false;
    ended_ = failed_ = false;
    return true;
  }

 private:
  z_stream z_{};
  bool ready_ = false;
  bool ended_ = false;
  bool failed_ = false;
};

#ifdef UNZIP32_HAVE_ISAL
class IsalDeflateDecoder final : public Decoder {
 public:
  // The state holds ISA-L's decoding tables and its 64 KiB of history: too large for the
  // stack of whoever makes a decoder.
  IsalDeflateDecoder() : state_(std::make_unique<inflate_state>()) { Start(); }

  DecodeStep Decode(std::span<const unsigned char> input, std::span<unsigned char> output,
                    bool /*input_ends*/) override {
    DecodeStep step;
    if (failed_) {
      step.status = DecodeStatus::kCorrupt;
      return step;
    }
    inflate_state& s = *state_;
    if (s.block_state == ISAL_BLOCK_FINISH) {
      step.status = DecodeStatus::kEnd;
      return step;
    }
    s.next_in = const_cast<uint8_t*>(input.data());
    s.avail_in = Clamp(input.size());
    s.next_out = output.data();
    s.avail_out = Clamp(output.size());
    const uint32_t given_in = s.avail_in, given_out = s.avail_out;
    const int rc = isal_inflate(&s);
    // ISA-L reads ahead into a bit buffer. At the data's end some versions hand back the
    // whole bytes held there, moving next_in back (beyond this call's input when those came
    // with an earlier call); others keep them in the buffer. Either way they are given back.
    step.consumed = s.avail_in <= given_in ? given_in - s.avail_in : 0;
    const size_t moved_back = s.avail_in > given_in ? s.avail_in - given_in : 0;
    step.produced = given_out - s.avail_out;
    if (rc < 0) {
      failed_ = true;
      step.status = DecodeStatus::kCorrupt;
    } else if (s.block_state == ISAL_BLOCK_FINISH) {
      step.status = DecodeStatus::kEnd;
      step.given_back = moved_back + static_cast<size_t>(s.read_in_length / 8);
    }
    return step;
  }

  std::string Problem() const override { return failed_ ? kDamaged : ""; }

  bool Reset(const DecoderParams& /*params*/) override {
    Start();
    return true;
  }

 private:
  void Start() {
    isal_inflate_init(state_.get());
    state_->crc_flag = ISAL_DEFLATE;  // raw data, no checksum
    failed_ = false;
  }

  std::unique_ptr<inflate_state> state_;
  bool failed_ = false;
};
#endif

}  // namespace

std::unique_ptr<Decoder> MakeZlibDeflateDecoder(const DecoderParams& /*params*/) {
  auto decoder = std::make_unique<ZlibDeflateDecoder>();
  if (!decoder->Init()) return nullptr;
  return decoder;
}

std::unique_ptr<Decoder> MakeDeflateDecoder(const DecoderParams& params) {
#ifdef UNZIP32_HAVE_ISAL
  (void)params;
  return std::make_unique<IsalDeflateDecoder>();
#else
  return MakeZlibDeflateDecoder(params);
#endif
}

}  // namespace nocunzip::unzip32
