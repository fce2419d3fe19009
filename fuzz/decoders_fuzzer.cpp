// Fuzz target: the decoders of every method on arbitrary compressed data.
//
// Input: two control bytes, then the data.
//   byte 0: the method: below 128 Deflate64 (the one decoder written here gets half the
//           inputs), else by the byte modulo 7 stored, deflate (ISA-L where built),
//           deflate with zlib, BZip2, LZMA, XZ, Zstandard
//   byte 1: bits 0-2 the input piece size (1, 2, 7, 64, 511, 4096, 65536, all), bits 3-5
//           the output room (1, 3, 13, 512, 4096, 32768, 65536, 256 KiB), bit 6 LZMA's
//           end-marker flag
// The data is decoded twice, in those pieces and in one piece with ample room.
// Each call must keep within what it was given, the decoding must finish (end, refusal,
// or early end) within a bounded output, and both runs must agree: the same contents when
// either ends well, and otherwise one output the beginning of the other.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "methods/decoder_methods.h"
#include "fuzz/fuzz_support.h"

using nocunzip::fuzz::Fail;
namespace u = nocunzip::unzip32;

namespace {

// Four windows of Deflate64's: enough for every path of every decoder, small enough that
// one-byte pieces stay quick.
constexpr size_t kMaxOutput = size_t{256} << 10;

enum class Outcome { kEnd, kCorrupt, kEarlyEnd, kTooLong };

struct Run {
  Outcome outcome = Outcome::kEarlyEnd;
  std::vector<unsigned char> output;
};

std::unique_ptr<u::Decoder> Make(int slot, const u::DecoderParams& p) {
  switch (slot) {
    case 0:
      return u::MakeDeflate64Decoder(p);
    case 1:
      return u::MakeStoredDecoder(p);
    case 2:
      return u::MakeDeflateDecoder(p);
    case 3:
      return u::MakeZlibDeflateDecoder(p);
    case 4:
      return u::MakeBzip2Decoder(p);
    case 5:
      return u::MakeLzmaDecoder(p);
    case 6:
      return u::MakeXzDecoder(p);
    default:
      return u::MakeZstdDecoder(p);
  }
}

Run Decode(int slot, const u::DecoderParams& p, const uint8_t* data, size_t size, size_t in_piece,
           size_t out_piece) {
  auto decoder = Make(slot, p);
  if (!decoder) Fail("no decoder");
  Run run;
  std::vector<unsigned char> room(out_piece);
  size_t at = 0;
  for (;;) {
    const size_t n = std::min(in_piece, size - at);
    const bool ends = at + n == size;
    const u::DecodeStep step = decoder->Decode({data + at, n}, room, ends);
    if (step.consumed > n || step.produced > room.size())
      Fail("a call went beyond its spans: used " + std::to_string(step.consumed) + " of " +
           std::to_string(n) + ", wrote " + std::to_string(step.produced) + " of " +
           std::to_string(room.size()));
    at += step.consumed;
    run.output.insert(run.output.end(), room.begin(), room.begin() + step.produced);
    if (step.status == u::DecodeStatus::kEnd) {
      run.outcome = Outcome::kEnd;
      return run;
    }
    if (step.status == u::DecodeStatus::kCorrupt) {
      if (decoder->Problem().empty()) Fail("refused without a reason");
      run.outcome = Outcome::kCorrupt;
      return run;
    }
    if (run.output.size() > kMaxOutput) {
      run.outcome = Outcome::kTooLong;
      return run;
    }
    if (step.consumed == 0 && step.produced == 0) {
      if (!ends) Fail("stalled although input was left");
      run.outcome = Outcome::kEarlyEnd;
      return run;
    }
  }
}

bool IsPrefix(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
  return a.size() <= b.size() && std::equal(a.begin(), a.end(), b.begin());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  static const size_t kInPieces[8] = {1, 2, 7, 64, 511, 4096, 65536, SIZE_MAX};
  static const size_t kOutPieces[8] = {1, 3, 13, 512, 4096, 32768, 65536, 1 << 18};
  const int slot = data[0] < 128 ? 0 : 1 + data[0] % 7;
  const uint8_t c = data[1];
  data += 2;
  size -= 2;
  u::DecoderParams params;
  params.flags = (c >> 6) & 1 ? 2 : 0;
  params.compressed_size = size;
  params.uncompressed_size = kMaxOutput;
  const Run pieces = Decode(slot, params, data, size, kInPieces[c & 7], kOutPieces[(c >> 3) & 7]);
  const Run whole = Decode(slot, params, data, size, SIZE_MAX, 65536);
  if (pieces.outcome == Outcome::kTooLong || whole.outcome == Outcome::kTooLong) return 0;
  if ((pieces.outcome == Outcome::kEnd) != (whole.outcome == Outcome::kEnd))
    Fail("the data ended in one run but not in the other");
  if (pieces.outcome == Outcome::kEnd && pieces.output != whole.output)
    Fail("pieces and whole gave different contents");
  if (!IsPrefix(pieces.output, whole.output) && !IsPrefix(whole.output, pieces.output))
    Fail("pieces and whole disagree on the contents");
  return 0;
}
