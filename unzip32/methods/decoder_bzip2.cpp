// BZip2 with libbz2. Its memory is bounded by the format itself: at most 900 kB blocks,
// about 3.6 MiB of state.
#include <bzlib.h>

#include <algorithm>
#include <climits>

#include "methods/decoder_methods.h"

namespace nocunzip::unzip32 {
namespace {

class Bzip2Decoder final : public Decoder {
 public:
  Bzip2Decoder() = default;
  ~Bzip2Decoder() override { End(); }
  Bzip2Decoder(const Bzip2Decoder&) = delete;
  Bzip2Decoder& operator=(const Bzip2Decoder&) = delete;

  bool Start() {
    End();
    bz_ = bz_stream{};
    ready_ = BZ2_bzDecompressInit(&bz_, 0, 0) == BZ_OK;
    ended_ = failed_ = false;
    return ready_;
  }

  DecodeStep Decode(std::span<const unsigned char> input, std::span<unsigned char> output,
                    bool /*input_ends*/) override {
    DecodeStep step;
    if (ended_ || failed_) {
      step.status = ended_ ? DecodeStatus::kEnd : DecodeStatus::kCorrupt;
      return step;
    }
    const unsigned given_in = static_cast<unsigned>(std::min<size_t>(input.size(), UINT_MAX));
    const unsigned given_out = static_cast<unsigned>(std::min<size_t>(output.size(), UINT_MAX));
    bz_.next_in = const_cast<char*>(reinterpret_cast<const char*>(input.data()));
    bz_.avail_in = given_in;
    bz_.next_out = reinterpret_cast<char*>(output.data());
    bz_.avail_out = given_out;
    // libbz2 refuses a call with no room at all; nothing could come of it anyway.
    const int rc = given_out == 0 ? BZ_OK : BZ2_bzDecompress(&bz_);
    step.consumed = given_in - bz_.avail_in;
    step.produced = given_out - bz_.avail_out;
    if (rc == BZ_STREAM_END) {
      ended_ = true;
      step.status = DecodeStatus::kEnd;
    } else if (rc != BZ_OK) {
      failed_ = true;
      problem_ = rc == BZ_MEM_ERROR ? "out of memory" : kDamaged;
      step.status = DecodeStatus::kCorrupt;
    }
    return step;
  }

  std::string Problem() const override { return failed_ ? problem_ : ""; }

  bool Reset(const DecoderParams& /*params*/) override { return Start(); }

 private:
  void End() {
    if (ready_) BZ2_bzDecompressEnd(&bz_);
    ready_ = false;
  }

  bz_stream bz_{};
  bool ready_ = false;
  bool ended_ = false;
  bool failed_ = false;
  std::string problem_;
};

}  // namespace

std::unique_ptr<Decoder> MakeBzip2Decoder(const DecoderParams& /*params*/) {
  auto decoder = std::make_unique<Bzip2Decoder>();
  if (!decoder->Start()) return nullptr;
  return decoder;
}

}  // namespace nocunzip::unzip32
