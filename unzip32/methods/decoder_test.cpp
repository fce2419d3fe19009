#include "methods/decoder.h"

#include <bzlib.h>
#include <gtest/gtest.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "methods/decoder_methods.h"
#include "read/zip_format.h"

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

// Noise repeated 60 KiB and 40 KiB back, and text: over 64 KiB in all, with matches that
// reach back further than 32 KiB (distance codes 30 and 31) and run long (length 285).
Bytes RepeatedNoise() {
  Bytes b = Text(20000);
  for (size_t block : {60 << 10, 40 << 10}) {
    const Bytes noise = RandomBytes(block, static_cast<uint32_t>(block));
    for (int i = 0; i < 3; ++i) b.insert(b.end(), noise.begin(), noise.end());
  }
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
  const size_t middle = data.size() / 2;
  for (const auto& half :
       {Bytes(data.begin(), data.begin() + middle), Bytes(data.begin() + middle, data.end())}) {
    Bytes frame(ZSTD_compressBound(half.size()));
    const size_t n = ZSTD_compress(frame.data(), frame.size(), half.data(), half.size(), 9);
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

// Headers that ask for more memory than a decoder may take are refused as such; other
// damage to a header is refused as damage.
TEST(DecoderTest, RefusesHeadersAskingTooMuch) {
  const Bytes text = Text(5000);
  // LZMA with a 4 GiB dictionary: with an end marker the entry's size does not bound it.
  Bytes lzma_huge = ZipLzma(text, true);
  lzma_huge[5] = lzma_huge[6] = lzma_huge[7] = lzma_huge[8] = 0xFF;
  // XZ whose LZMA2 filter asks for a 3 GiB dictionary (property 39), its header's CRC mended.
  Bytes xz_huge = Xz(text);
  const size_t block = 12, header_size = (xz_huge[block] + 1) * 4;
  for (size_t i = block; i + 2 < block + header_size; ++i) {
    if (xz_huge[i] == 0x21 && xz_huge[i + 1] == 1) {
      xz_huge[i + 2] = 39;
      break;
    }
  }
  const uLong crc = crc32(0, xz_huge.data() + block, static_cast<uInt>(header_size - 4));
  for (int i = 0; i < 4; ++i) xz_huge[block + header_size - 4 + i] = (crc >> (8 * i)) & 0xFF;
  // A zstd frame with a 1 GiB window: no single-segment flag, window descriptor 20 << 3,
  // then one raw last block of one byte.
  const Bytes zstd_huge = {0x28, 0xB5, 0x2F, 0xFD, 0x00, 20 << 3, 0x09, 0x00, 0x00, 'x'};
  Bytes lzma_props = ZipLzma(text, true);
  lzma_props[2] = 6;

  struct Refused {
    const char* what;
    uint16_t method, flags;
    Bytes data;
    const char* problem;
  } cases[] = {
      {"lzma dictionary", 14, 2, lzma_huge, "MiB of memory"},
      {"xz dictionary", 95, 0, xz_huge, "MiB of memory"},
      {"zstd window", 93, 0, zstd_huge, "window larger"},
      {"lzma properties size", 14, 2, lzma_props, "damaged"},
      {"bzip2 signature", 12, 0, Bytes{'B', 'Z', 'x', '9', 1, 2, 3, 4}, "damaged"},
      {"xz signature", 95, 0, Bytes(20, 'x'), "damaged"},
      {"zstd signature", 93, 0, Bytes(20, 'x'), "damaged"},
      {"deflate block type 3", 8, 0, Bytes{0x07, 0, 0, 0}, "damaged"},
  };
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.what);
    auto decoder = MakeDecoder({c.method, c.flags, c.data.size(), text.size()});
    ASSERT_TRUE(decoder);
    const Result r = Feed(*decoder, c.data, SIZE_MAX, 1 << 16);
    EXPECT_STREQ(Name(r.outcome), "corrupt");
    EXPECT_NE(decoder->Problem().find(c.problem), std::string::npos) << decoder->Problem();
  }
}

TEST(DecoderTest, MethodNamesAndSupport) {
  const struct {
    uint16_t method;
    const char* name;
    bool supported;
  } methods[] = {
      {0, "Stored", true},  {1, "Shrunk", false},    {6, "Imploded", false},
      {8, "Deflate", true}, {9, "Deflate64", true},  {12, "BZip2", true},
      {14, "LZMA", true},   {93, "Zstandard", true}, {95, "XZ", true},
      {96, "JPEG", false},  {97, "WavPack", false},  {98, "PPMd", false},
      {99, "AES", false},   {3, "method 3", false},  {20, "method 20", false},
  };
  for (const auto& m : methods) {
    EXPECT_EQ(MethodName(m.method), m.name);
    EXPECT_EQ(IsMethodSupported(m.method), m.supported) << m.name;
    EXPECT_EQ(MakeDecoder({m.method, 0, 0, 0}) != nullptr, m.supported) << m.name;
  }
}

// ---- Deflate64 ----

// The raw data of the first entry of a ZIP archive, from its local header (7-Zip writes
// the sizes there).
Bytes FirstEntryData(const Bytes& zip) {
  auto get = [&](size_t at, int n) {
    uint32_t v = 0;
    for (int i = n; i-- > 0;) v = v << 8 | zip.at(at + i);
    return v;
  };
  EXPECT_EQ(get(0, 4), 0x04034b50u);
  const size_t start = 30 + get(26, 2) + get(28, 2), size = get(18, 4);
  return Bytes(zip.begin() + start, zip.begin() + start + size);
}

// `contents` compressed by 7-Zip's Deflate64 encoder, or nothing without 7zz.
Bytes SevenZipDeflate64(const Bytes& contents) {
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::temp_directory_path() / ("decoder_test_" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  std::ofstream(dir / "data.bin", std::ios::binary)
      .write(reinterpret_cast<const char*>(contents.data()), contents.size());
  const std::string command =
      "cd '" + dir.string() + "' && 7zz a -tzip -mm=Deflate64 -mx9 a.zip data.bin >/dev/null 2>&1";
  Bytes data;
  if (std::system(command.c_str()) == 0) {
    std::ifstream in(dir / "a.zip", std::ios::binary);
    data = FirstEntryData(Bytes(std::istreambuf_iterator<char>(in), {}));
  }
  fs::remove_all(dir);
  return data;
}

TEST(Deflate64Test, DecodesSevenZipData) {
  const Bytes contents = RepeatedNoise();
  const Bytes compressed = SevenZipDeflate64(contents);
  if (compressed.empty()) GTEST_SKIP() << "7zz is not installed";
  // The repeats must have been found: else the long distances went unchecked.
  ASSERT_LT(compressed.size(), contents.size() / 2);
  const Case c{"deflate64", {9, 0, compressed.size(), contents.size()}, compressed, contents, true};
  ExpectDecodes(c, SIZE_MAX, contents.size());
  ExpectDecodes(c, 1, 1);
  ExpectDecodes(c, 3, 65536);
  ExpectDecodes(c, 65536, 5);
  for (size_t keep : {size_t{0}, size_t{1}, compressed.size() / 2, compressed.size() - 1}) {
    auto decoder = MakeDecoder(c.params);
    const Result r = Feed(*decoder, Bytes(compressed.begin(), compressed.begin() + keep), 1, 1);
    EXPECT_TRUE(r.outcome == Outcome::kCorrupt || r.outcome == Outcome::kEarlyEnd)
        << keep << " bytes: " << Name(r.outcome);
  }
}

// Writes deflate's bit stream: values lowest bit first, Huffman codes highest bit first.
class BitWriter {
 public:
  BitWriter& Bits(uint32_t value, int n) {
    for (int i = 0; i < n; ++i) Bit((value >> i) & 1);
    return *this;
  }
  BitWriter& Code(uint32_t code, int n) {
    for (int i = n; i-- > 0;) Bit((code >> i) & 1);
    return *this;
  }
  // Symbols of the fixed code.
  BitWriter& Fixed(int symbol) {
    if (symbol < 144) return Code(0x30 + symbol, 8);
    if (symbol < 256) return Code(0x190 + symbol - 144, 9);
    if (symbol < 280) return Code(symbol - 256, 7);
    return Code(0xC0 + symbol - 280, 8);
  }
  BitWriter& Bytes(const std::vector<unsigned char>& bytes) {
    while (count_ % 8 != 0) Bit(0);
    for (unsigned char b : bytes) Bits(b, 8);
    return *this;
  }
  std::vector<unsigned char> Done() const { return out_; }

 private:
  void Bit(uint32_t b) {
    if (count_ % 8 == 0) out_.push_back(0);
    out_.back() |= static_cast<unsigned char>(b << (count_ % 8));
    ++count_;
  }
  std::vector<unsigned char> out_;
  size_t count_ = 0;
};

// A dynamic block's header up to its code lengths: HLIT 257, HDIST 1, and a code length
// code in which the symbols `clen` have the lengths `clen_lengths`.
BitWriter DynamicHeader(const std::vector<int>& clen, const std::vector<int>& clen_lengths) {
  BitWriter w;
  w.Bits(1, 1).Bits(2, 2).Bits(0, 5).Bits(0, 5).Bits(15, 4);  // all 19 lengths follow
  static const int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  for (int symbol : kOrder) {
    int len = 0;
    for (size_t i = 0; i < clen.size(); ++i)
      if (clen[i] == symbol) len = clen_lengths[i];
    w.Bits(len, 3);
  }
  return w;
}

TEST(Deflate64Test, LongLengthsAndDistances) {
  // 64 KiB - 1 stored, then a fixed block: one more byte, and copies that reach back the
  // whole window.
  Bytes pattern(65536);
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<unsigned char>(i * 7 % 251);
  BitWriter w;
  w.Bits(0, 1).Bits(0, 2);
  const unsigned char header[4] = {0xFF, 0xFF, 0, 0};
  w.Bytes(Bytes(header, header + 4)).Bytes(Bytes(pattern.begin(), pattern.end() - 1));
  w.Bits(1, 1).Bits(1, 2).Fixed(pattern.back());
  w.Fixed(257).Code(31, 5).Bits(16383, 14);          // 3 bytes from 65536 back
  w.Fixed(285).Bits(0, 16).Code(30, 5).Bits(0, 14);  // 3 bytes from 32769 back
  w.Fixed(285).Bits(65535, 16).Code(0, 5);           // 65538 times the last byte
  w.Fixed(256);
  Bytes expected = pattern;
  for (size_t from : {size_t{65536}, size_t{32769}})
    for (int i = 0; i < 3; ++i) expected.push_back(expected[expected.size() - from]);
  expected.insert(expected.end(), 65538, expected.back());
  const Case c{"deflate64", {9, 0, 0, 0}, w.Done(), expected, true};
  ExpectDecodes(c, SIZE_MAX, expected.size());
  ExpectDecodes(c, 1, 1);
  ExpectDecodes(c, 5, 4099);
}

TEST(Deflate64Test, RefusesHostileData) {
  const std::vector<int> zero_18 = {0, 18}, zero_16 = {0, 16}, one_each = {1, 1};
  struct Hostile {
    const char* what;
    Bytes data;
  } cases[] = {
      {"a distance before the first byte",
       BitWriter().Bits(1, 1).Bits(1, 2).Fixed('a').Fixed(257).Code(1, 5).Fixed(256).Done()},
      {"a distance beyond what came out",
       BitWriter().Bits(1, 1).Bits(1, 2).Fixed('a').Fixed(257).Code(31, 5).Bits(0, 14).Done()},
      {"literal/length symbol 286", BitWriter().Bits(1, 1).Bits(1, 2).Fixed(286).Done()},
      {"block type 3", BitWriter().Bits(1, 1).Bits(3, 2).Bits(0, 16).Done()},
      {"stored length and complement differ",
       BitWriter().Bits(1, 1).Bits(0, 2).Bytes({5, 0, 0, 0, 1, 2, 3, 4, 5}).Done()},
      {"over-subscribed code length code",
       DynamicHeader({0, 1, 2, 18}, {1, 1, 1, 1}).Bits(0, 32).Done()},
      {"incomplete code length code", DynamicHeader({0, 18}, {1, 2}).Bits(0, 32).Done()},
      // codes: 0 -> "0", 18 -> "1"; 258 lengths wanted, 276 given
      {"lengths repeated past the end",
       DynamicHeader(zero_18, one_each).Code(1, 1).Bits(127, 7).Code(1, 1).Bits(127, 7).Done()},
      {"a repeat with nothing before it",
       DynamicHeader(zero_16, one_each).Code(1, 1).Bits(0, 2).Bits(0, 32).Done()},
      // lengths: 255 zeros, 'no' end-of-block code, ...
      {"no end-of-block code",
       DynamicHeader(zero_18, one_each).Code(1, 1).Bits(127, 7).Code(1, 1).Bits(109, 7).Done()},
  };
  for (const Hostile& h : cases) {
    SCOPED_TRACE(h.what);
    for (size_t piece : {size_t{1}, h.data.size()}) {
      auto decoder = MakeDecoder({9, 0, h.data.size(), 0});
      const Result r = Feed(*decoder, h.data, piece, piece);
      EXPECT_STREQ(Name(r.outcome), "corrupt");
      EXPECT_EQ(decoder->Problem(), "the compressed data is damaged");
    }
  }
}

}  // namespace
}  // namespace nocunzip::unzip32
