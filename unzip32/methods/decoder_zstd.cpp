// Zstandard with libzstd's streaming decoder. An entry may hold several frames one after
// the other (and skippable frames): the data ends where a frame ends and no input follows.
#include <zstd.h>
#include <zstd_errors.h>

#include "methods/decoder_methods.h"

namespace nocunzip::unzip32 {
namespace {

// Frames that ask for a larger window are refused rather than decoded with hundreds of
// MiB: 2^27 = 128 MiB is libzstd's own default limit and the largest window that its
// levels 1-22 choose by themselves; only "--long" or explicit window settings go beyond.
constexpr int kWindowLogMax = 27;

struct DctxFree {
  void operator()(ZSTD_DCtx* d) const { ZSTD_freeDCtx(d); }
};

class ZstdDecoder final : public Decoder {
 public:
  bool Start() {
    if (!dctx_) dctx_.reset(ZSTD_createDCtx());
    if (!dctx_) return false;
    ZSTD_DCtx_reset(dctx_.get(), ZSTD_reset_session_only);
    if (ZSTD_isError(ZSTD_DCtx_setParameter(dctx_.get(), ZSTD_d_windowLogMax, kWindowLogMax)))
      return false;
    between_frames_ = true;
    frames_ = 0;
    ended_ = failed_ = false;
    return true;
  }

  DecodeStep Decode(std::span<const unsigned char> input, std::span<unsigned char> output,
                    bool input_ends) override {
    DecodeStep step;
    if (ended_ || failed_) {
      step.status = ended_ ? DecodeStatus::kEnd : DecodeStatus::kCorrupt;
      return step;
    }
    ZSTD_inBuffer in{input.data(), input.size(), 0};
    ZSTD_outBuffer out{output.data(), output.size(), 0};
    for (;;) {
      if (between_frames_ && in.pos == in.size) {
        // A complete frame with nothing after it: the end, once no input can follow.
        if (input_ends && frames_ > 0) ended_ = true;
        break;
      }
      const size_t in_before = in.pos, out_before = out.pos;
      const size_t rc = ZSTD_decompressStream(dctx_.get(), &out, &in);
      if (ZSTD_isError(rc)) {
        failed_ = true;
        problem_ = ZSTD_getErrorCode(rc) == ZSTD_error_frameParameter_windowTooLarge
                       ? "the compressed data needs a window larger than the " +
                             std::to_string((size_t{1} << kWindowLogMax) >> 20) + " MiB allowed"
                       : kDamaged;
        break;
      }
      between_frames_ = rc == 0;
      if (between_frames_) ++frames_;
      if (in.pos == in_before && out.pos == out_before) break;
      if (!between_frames_ && (in.pos == in.size || out.pos == out.size)) break;
    }
    step.consumed = in.pos;
    step.produced = out.pos;
    step.status = failed_  ? DecodeStatus::kCorrupt
                  : ended_ ? DecodeStatus::kEnd
                           : DecodeStatus::kMore;
    return step;
  }

  std::string Problem() const override { return failed_ ? problem_ : ""; }

  bool Reset(const DecoderParams& /*params*/) override { return Start(); }

 private:
  std::unique_ptr<ZSTD_DCtx, DctxFree> dctx_;
  bool between_frames_ = true;
  uint64_t frames_ = 0;
  bool ended_ = false;
  bool failed_ = false;
  std::string problem_;
};

}  // namespace

std::unique_ptr<Decoder> MakeZstdDecoder(const DecoderParams& /*params*/) {
  auto decoder = std::make_unique<ZstdDecoder>();
  if (!decoder->Start()) return nullptr;
  return decoder;
}

}  // namespace nocunzip::unzip32
