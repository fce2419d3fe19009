// Stored entries: the data is the contents. Their end is known only from the entry's
// compressed size.
#include <algorithm>
#include <cstring>

#include "methods/decoder_methods.h"

namespace nocunzip::unzip32 {
namespace {

class StoredDecoder final : public Decoder {
 public:
  explicit StoredDecoder(const DecoderParams& params) : left_(params.compressed_size) {}

  DecodeStep Decode(std::span<const unsigned char> input, std::span<unsigned char> output,
                    bool /*input_ends*/) override {
    DecodeStep step;
    const size_t n =
        static_cast<size_t>(std::min<uint64_t>(left_, std::min(input.size(), output.size())));
    if (n > 0) std::memcpy(output.data(), input.data(), n);
    left_ -= n;
    step.consumed = step.produced = n;
    step.status = left_ == 0 ? DecodeStatus::kEnd : DecodeStatus::kMore;
    return step;
  }

  std::string Problem() const override { return {}; }

  bool Reset(const DecoderParams& params) override {
    left_ = params.compressed_size;
    return true;
  }

 private:
  uint64_t left_;
};

}  // namespace

std::unique_ptr<Decoder> MakeStoredDecoder(const DecoderParams& params) {
  return std::make_unique<StoredDecoder>(params);
}

}  // namespace nocunzip::unzip32
