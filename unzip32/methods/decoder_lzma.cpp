// LZMA as ZIP stores it: a 4-byte header (the encoder's version, two bytes, and the size
// of the properties, two bytes little-endian, always 5), the 5 property bytes, then the
// raw LZMA1 data, decoded with liblzma. Flag bit 1 says that the data ends with an end
// marker; without one it ends once the entry's uncompressed size has come out.
#include <lzma.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>

#include "methods/decoder_methods.h"

namespace nocunzip::unzip32 {
namespace {

constexpr size_t kHeaderSize = 4 + 5;
constexpr uint16_t kEndMarkerFlag = 1 << 1;

class LzmaDecoder final : public Decoder {
 public:
  explicit LzmaDecoder(const DecoderParams& params) { Start(params); }
  ~LzmaDecoder() override { lzma_end(&strm_); }
  LzmaDecoder(const LzmaDecoder&) = delete;
  LzmaDecoder& operator=(const LzmaDecoder&) = delete;

  DecodeStep Decode(std::span<const unsigned char> input, std::span<unsigned char> output,
                    bool /*input_ends*/) override {
    DecodeStep step;
    if (header_size_ < kHeaderSize) {
      const size_t n = std::min(kHeaderSize - header_size_, input.size());
      if (n > 0) std::memcpy(header_.data() + header_size_, input.data(), n);
      header_size_ += n;
      step.consumed = n;
      input = input.subspan(n);
      if (header_size_ == kHeaderSize && !StartLzma()) failed_ = true;
    }
    if (header_size_ < kHeaderSize) return step;
    if (!failed_ && !ended_) Run(input, output, step);
    step.status = failed_  ? DecodeStatus::kCorrupt
                  : ended_ ? DecodeStatus::kEnd
                           : DecodeStatus::kMore;
    return step;
  }

  std::string Problem() const override { return failed_ ? problem_ : ""; }

  bool Reset(const DecoderParams& params) override {
    Start(params);
    return true;
  }

 private:
  void Start(const DecoderParams& params) {
    header_size_ = 0;
    end_marker_ = (params.flags & kEndMarkerFlag) != 0;
    size_ = params.uncompressed_size;
    produced_ = 0;
    ended_ = failed_ = false;
    problem_.clear();
  }

  bool StartLzma() {
    problem_ = kDamaged;
    if (header_[2] != 5 || header_[3] != 0) return false;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, nullptr}, {LZMA_VLI_UNKNOWN, nullptr}};
    if (lzma_properties_decode(&filters[0], nullptr, header_.data() + 4, 5) != LZMA_OK)
      return false;
    auto* options = static_cast<lzma_options_lzma*>(filters[0].options);
    // Well-formed data never reaches back further than what it produced: a dictionary of
    // the entry's size does, however large the encoder's was.
    if (!end_marker_)
      options->dict_size = static_cast<uint32_t>(
          std::min<uint64_t>(options->dict_size, std::max<uint64_t>(size_, LZMA_DICT_SIZE_MIN)));
    const uint64_t needed = lzma_raw_decoder_memusage(filters);
    bool ok = false;
    if (needed > kMaxDecoderMemory) {
      problem_ = TooMuchMemory(needed);
    } else {
      const lzma_ret rc = lzma_raw_decoder(&strm_, filters);
      ok = rc == LZMA_OK;
      if (rc == LZMA_MEM_ERROR) problem_ = "out of memory";
    }
    free(options);  // lzma_properties_decode allocates with malloc
    return ok;
  }

  void Run(std::span<const unsigned char> input, std::span<unsigned char> output,
           DecodeStep& step) {
    if (!end_marker_) {
      output =
          output.first(static_cast<size_t>(std::min<uint64_t>(output.size(), size_ - produced_)));
      if (output.empty() && produced_ == size_) {
        ended_ = true;
        return;
      }
    }
    strm_.next_in = input.data();
    strm_.avail_in = input.size();
    strm_.next_out = output.data();
    strm_.avail_out = output.size();
    const lzma_ret rc = lzma_code(&strm_, LZMA_RUN);
    step.consumed += input.size() - strm_.avail_in;
    step.produced = output.size() - strm_.avail_out;
    produced_ += step.produced;
    if (rc == LZMA_STREAM_END || (!end_marker_ && produced_ == size_)) {
      ended_ = true;
    } else if (rc != LZMA_OK && rc != LZMA_BUF_ERROR) {
      failed_ = true;
      problem_ = rc == LZMA_MEM_ERROR ? "out of memory" : kDamaged;
    }
  }

  lzma_stream strm_ = LZMA_STREAM_INIT;
  std::array<unsigned char, kHeaderSize> header_{};
  size_t header_size_ = 0;
  bool end_marker_ = false;
  uint64_t size_ = 0;
  uint64_t produced_ = 0;
  bool ended_ = false;
  bool failed_ = false;
  std::string problem_;
};

}  // namespace

std::unique_ptr<Decoder> MakeLzmaDecoder(const DecoderParams& params) {
  return std::make_unique<LzmaDecoder>(params);
}

}  // namespace nocunzip::unzip32
