#include "decoder.h"

#include <bzlib.h>
#include <gtest/gtest.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "decoder_methods.h"

namespace nocunzip::unzip32 {
namespace {

using Bytes = std::vector<unsigned char>;

// ---- Driving a decoder the way the extraction does, with pieces of chosen sizes ----

enum class Outcome { kEnd, kCorrupt, kEarlyEnd, kStalled, kRunaway };

const char* Name(Outcome o) {
  switch (o) {
    case Outcome::kEnd:
      return "end";
    case Outcome::kCorrupt:
      return "corrupt";
    case Outcome::kEarlyEnd:
      return "early end";
    case Outcome::kStalled:
      return "stalled";
    case Outcome::kRunaway:
      return "runaway";
  }
  return "?";
}

struct Result {
  Outcome outcome = Outcome::kStalled;
  Bytes output;
  size_t consumed = 0;
};

// Feeds `input` in pieces of at most `in_piece` bytes and offers `out_piece` bytes of room
// each call, until the decoder ends, refuses, or can go no further. Stops decoders that
// produce more than `max_output` bytes.
Result Feed(Decoder& decoder, const Bytes& input, size_t in_piece, size_t out_piece,
            size_t max_output = size_t{64} << 20) {
  Result r;
  Bytes room(out_piece);
  for (;;) {
    const size_t n = std::min(in_piece, input.size() - r.consumed);
    const bool ends = r.consumed + n == input.size();
    const DecodeStep step = decoder.Decode(std::span(input).subspan(r.consumed, n), room, ends);
    EXPECT_LE(step.consumed, n);
    EXPECT_LE(step.produced, room.size());
    r.consumed += std::min(step.consumed, n);
    r.output.insert(r.output.end(), room.begin(),
                    room.begin() + std::min(step.produced, room.size()));
    if (step.status == DecodeStatus::kEnd) {
      r.outcome = Outcome::kEnd;
      return r;
    }
    if (step.status == DecodeStatus::kCorrupt) {
      EXPECT_FALSE(decoder.Problem().empty());
      r.outcome = Outcome::kCorrupt;
      return r;
    }
    if (r.output.size() > max_output) {
      r.outcome = Outcome::kRunaway;
      return r;
    }
    if (step.consumed == 0 && step.produced == 0) {
      r.outcome = ends ? Outcome::kEarlyEnd : Outcome::kStalled;
      return r;
    }
  }
}

// ---- Sample contents ----

Bytes RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& c : b) c = static_cast<unsigned char>(rng());
  return b;
}

Bytes Text(size_t n) {
  static const char kWords[] = "the quick brown fox jumps over the lazy dog; ";
  Bytes b(n);
  std::mt19937 rng(7);
  for (size_t i = 0; i < n; ++i) b[i] = kWords[(i + rng() % 3) % (sizeof kWords - 1)];
  return b;
}

// 100 KiB of noise three times over, then text: matches reach back further than 64 KiB
// and run longer than 258 bytes.
[[maybe_unused]] Bytes RepeatedNoise() {
  const Bytes noise = RandomBytes(100 << 10, 1);
  Bytes b;
  for (int i = 0; i < 3; ++i) b.insert(b.end(), noise.begin(), noise.end());
  const Bytes t = Text(40000);
  b.insert(b.end(), t.begin(), t.end());
  return b;
}

// ---- Compressing them with each method's own library ----

Bytes RawDeflate(const Bytes& data) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY), Z_OK);
  Bytes out(deflateBound(&z, data.size()));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

Bytes Bzip2(const Bytes& data) {
  Bytes out(data.size() + data.size() / 50 + 700);
  unsigned size = static_cast<unsigned>(out.size());
  EXPECT_EQ(BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &size,
                                     const_cast<char*>(reinterpret_cast<const char*>(data.data())),
                                     static_cast<unsigned>(data.size()), 9, 0, 0),
            BZ_OK);
  out.resize(size);
  return out;
}

Bytes Xz(const Bytes& data) {
  Bytes out(lzma_stream_buffer_bound(data.size()));
  size_t size = 0;
  EXPECT_EQ(lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr, data.data(), data.size(),
                                    out.data(), &size, out.size()),
            LZMA_OK);
  out.resize(size);
  return out;
}

// The ZIP form: version 2 bytes, properties size 2 bytes, 5 property bytes, raw LZMA1.
Bytes ZipLzma(const Bytes& data, bool end_marker, uint32_t dict_size = 1 << 20) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 6);
  options.dict_size = dict_size;
  lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  uint32_t props_size = 0;
  EXPECT_EQ(lzma_properties_size(&props_size, filters), LZMA_OK);
  EXPECT_EQ(props_size, 5u);
  Bytes out = {16, 2, 5, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(lzma_properties_encode(filters, out.data() + 4), LZMA_OK);
  // liblzma's raw LZMA1 encoder always writes the end marker; LZMA1EXT can leave it out.
  lzma_options_lzma ext = options;
  if (!end_marker) filters[0].id = LZMA_FILTER_LZMA1EXT;
  if (!end_marker) {
    ext.ext_flags = 0;
    ext.ext_size_low = static_cast<uint32_t>(data.size());
    ext.ext_size_high = static_cast<uint32_t>(uint64_t{data.size()} >> 32);
    filters[0].options = &ext;
  }
  lzma_stream strm = LZMA_STREAM_INIT;
  EXPECT_EQ(lzma_raw_encoder(&strm, filters), LZMA_OK);
  Bytes body(data.size() + data.size() / 2 + 1024);
  strm.next_in = data.data();
  strm.avail_in = data.size();
  strm.next_out = body.data();
  strm.avail_out = body.size();
  EXPECT_EQ(lzma_code(&strm, LZMA_FINISH), LZMA_STREAM_END);
  body.resize(strm.total_out);
  lzma_end(&strm);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// Two frames one after the other, as an entry may hold them.
Bytes Zstd(const Bytes& data) {
  Bytes out;
  const size_t half = data.size() / 2;
  for (const auto& part :
       {Bytes(data.begin(), data.begin() + half), Bytes(data.begin() + half, data.end())}) {
    Bytes frame(ZSTD_compressBound(part.size()));
    const size_t n = ZSTD_compress(frame.data(), frame.size(), part.data(), part.size(), 9);
    EXPECT_FALSE(ZSTD_isError(n));
    out.insert(out.end(), frame.begin(), frame.begin() + n);
  }
  return out;
}

// ---- The table ----

struct Case {
  std::string name;
  DecoderParams params;
  Bytes compressed;
  Bytes contents;
  bool exact_end;  // the decoder stops on the data's last byte
};

std::unique_ptr<Decoder> Make(const std::string& name, const DecoderParams& params) {
  return name.starts_with("zlib ") ? MakeZlibDeflateDecoder(params) : MakeDecoder(params);
}

std::vector<Case> LibraryCases() {
  std::vector<Case> cases;
  const std::vector<std::pair<std::string, Bytes>> samples = {
      {"text", Text(200000)}, {"noise", RandomBytes(70000, 2)}, {"one byte", Bytes{'x'}}};
  for (const auto& [what, data] : samples) {
    auto add = [&](std::string name, uint16_t method, uint16_t flags, Bytes compressed,
                   bool exact_end) {
      DecoderParams p{method, flags, compressed.size(), data.size()};
      cases.push_back({name + " " + what, p, std::move(compressed), data, exact_end});
    };
    add("stored", 0, 0, data, true);
    add("deflate", 8, 0, RawDeflate(data), true);
    add("zlib deflate", 8, 0, RawDeflate(data), true);
    add("bzip2", 12, 0, Bzip2(data), true);
    add("lzma with end marker", 14, 2, ZipLzma(data, true), true);
    add("lzma without end marker", 14, 0, ZipLzma(data, false), false);
    add("xz", 95, 0, Xz(data), true);
    add("zstd", 93, 0, Zstd(data), true);
  }
  return cases;
}

void ExpectDecodes(const Case& c, size_t in_piece, size_t out_piece) {
  SCOPED_TRACE(c.name + ", pieces " + std::to_string(in_piece) + "/" + std::to_string(out_piece));
  auto decoder = Make(c.name, c.params);
  ASSERT_TRUE(decoder);
  const Result r = Feed(*decoder, c.compressed, in_piece, out_piece);
  EXPECT_STREQ(Name(r.outcome), "end");
  EXPECT_TRUE(r.output == c.contents) << r.output.size() << " bytes out of " << c.contents.size();
  if (c.exact_end) {
    EXPECT_EQ(r.consumed, c.compressed.size());
  }
}

TEST(DecoderTest, DecodesWholeAndInAnyPieces) {
  for (const Case& c : LibraryCases()) {
    ExpectDecodes(c, SIZE_MAX, c.contents.size() + 1);
    ExpectDecodes(c, 4093, 65536);
    ExpectDecodes(c, 7, 13);
    if (c.contents.size() < 100000) ExpectDecodes(c, 1, 1);
  }
}

TEST(DecoderTest, ResetDecodesAnotherEntry) {
  const std::vector<Case> cases = LibraryCases();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto decoder = Make(c.name, c.params);
    ASSERT_TRUE(decoder);
    Feed(*decoder, c.compressed, 100, 100);  // half-way through, then another entry
    if (!decoder->Reset(c.params)) continue;
    const Result r = Feed(*decoder, c.compressed, 1000, 1000);
    EXPECT_STREQ(Name(r.outcome), "end");
    EXPECT_TRUE(r.output == c.contents);
  }
}

// Cut short, the data must be refused or end early; never be taken for complete.
TEST(DecoderTest, TruncatedDataNeverEndsWell) {
  for (const Case& c : LibraryCases()) {
    if (c.contents.size() < 1000) continue;
    for (size_t keep :
         {size_t{0}, size_t{1}, size_t{9}, c.compressed.size() / 3, c.compressed.size() - 1}) {
      SCOPED_TRACE(c.name + ", " + std::to_string(keep) + " bytes kept");
      const Bytes cut(c.compressed.begin(), c.compressed.begin() + keep);
      for (size_t piece : {size_t{1}, size_t{4096}}) {
        auto decoder = Make(c.name, c.params);
        ASSERT_TRUE(decoder);
        const Result r = Feed(*decoder, cut, piece, piece);
        EXPECT_TRUE(r.outcome == Outcome::kCorrupt || r.outcome == Outcome::kEarlyEnd)
            << Name(r.outcome);
      }
    }
  }
}

// Damaged anywhere, the data ends one way or another, and never with more than it could
// hold. The sanitizer builds check that nothing is read or written out of bounds.
TEST(DecoderTest, DamagedDataStopsSafely) {
  std::mt19937 rng(3);
  for (const Case& c : LibraryCases()) {
    if (c.contents.size() < 1000) continue;
    for (int i = 0; i < 40; ++i) {
      Bytes damaged = c.compressed;
      const size_t at = rng() % damaged.size();
      damaged[at] ^= static_cast<unsigned char>(1 + rng() % 255);
      SCOPED_TRACE(c.name + ", byte " + std::to_string(at));
      auto decoder = Make(c.name, c.params);
      ASSERT_TRUE(decoder);
      const Result r = Feed(*decoder, damaged, 1000, 777, 2 * c.contents.size() + (1 << 20));
      EXPECT_NE(r.outcome, Outcome::kStalled);
      EXPECT_NE(r.outcome, Outcome::kRunaway);
    }
  }
}

}  // namespace
}  // namespace nocunzip::unzip32
