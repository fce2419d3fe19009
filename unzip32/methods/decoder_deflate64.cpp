// Deflate64 ("enhanced deflate"), written here as no library in reach reads it: deflate
// with a 64 KiB window, length code 285 meaning 3 + a 16-bit extra value (up to 65538
// bytes) and distance codes 30 and 31 (32769 and 49153 + 14 extra bits).
//
// The decoder is a state machine that keeps no input of its own beyond a bit buffer: it
// takes input bytes only when the step at hand needs them, and commits a step (a block
// header, a code length, a symbol with its extra bits) only once all of its bits are
// there. So any split of input and output works, and on the data's end the input used is
// exact. Memory: the 64 KiB window and about 8 KiB of tables.
//
// Everything the data says is checked before use: Huffman codes that are over-subscribed
// or (but for the one-code case that deflate allows) incomplete, code length repeats past
// the end or without a length to repeat, block types and stored lengths, symbols that
// have no meaning, and distances reaching back before the first byte produced.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "methods/decoder_methods.h"

namespace nocunzip::unzip32 {
namespace {

constexpr uint32_t kWindowSize = 1 << 16;
constexpr uint32_t kWindowMask = kWindowSize - 1;
constexpr int kMaxBits = 15;        // longest Huffman code
constexpr int kTableBits = 9;       // codes this long or shorter are read in one look-up
constexpr int kMaxLitLen = 288;     // literal/length symbols that the header can describe
constexpr int kMaxDistance = 32;    // distance symbols
constexpr int kMaxCodeLength = 19;  // code length symbols
constexpr int kEndOfBlock = 256;

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 3};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
constexpr uint32_t kDistanceBase[kMaxDistance] = {
    1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
    49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
    2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistanceExtra[kMaxDistance] = {0,  0,  0,  0,  1,  1,  2,  2,  3,  3, 4,
                                                  4,  5,  5,  6,  6,  7,  7,  8,  8,  9, 9,
                                                  10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
// The order in which a dynamic block lists the lengths of the code length code.
constexpr uint8_t kCodeLengthOrder[kMaxCodeLength] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                      11, 4,  12, 3, 13, 2, 14, 1, 15};

enum class Got { kOk, kNeedInput, kBad };

// A canonical Huffman code. Codes of up to kTableBits bits come straight from `table`
// (entry: symbol << 4 | length); an entry of length kLong marks the first bits of a longer
// code, which is then read bit by bit against the counts; 0 is no code at all.
struct Huffman {
  static constexpr uint16_t kLong = 15;
  std::array<uint16_t, 1 << kTableBits> table{};
  std::array<uint16_t, kMaxBits + 1> count{};
  std::array<uint16_t, kMaxLitLen> symbol{};  // by length, then by value

  // False for an over-subscribed code, and for an incomplete one unless `allow_single`
  // and it is deflate's single code of one bit (or no code at all).
  bool Build(const uint8_t* lengths, int n, bool allow_single) {
    count.fill(0);
    for (int i = 0; i < n; ++i) ++count[lengths[i]];
    count[0] = 0;
    int left = 1, longest = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
      left = (left << 1) - count[len];
      if (left < 0) return false;
      if (count[len] != 0) longest = len;
    }
    if (left > 0 && !(allow_single && longest <= 1)) return false;

    std::array<uint16_t, kMaxBits + 2> offset{};
    std::array<uint32_t, kMaxBits + 1> next_code{};
    uint32_t code = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
      offset[len + 1] = static_cast<uint16_t>(offset[len] + count[len]);
      code = (code + count[len - 1]) << 1;
      next_code[len] = code;
    }
    table.fill(0);
    for (int sym = 0; sym < n; ++sym) {
      const int len = lengths[sym];
      if (len == 0) continue;
      symbol[offset[len]++] = static_cast<uint16_t>(sym);
      const uint32_t c = next_code[len]++;
      if (len <= kTableBits) {
        for (uint32_t k = Reverse(c, len); k < table.size(); k += 1u << len)
          table[k] = static_cast<uint16_t>(sym << 4 | len);
      } else {
        table[Reverse(c >> (len - kTableBits), kTableBits)] = kLong;
      }
    }
    return true;
  }

  static uint32_t Reverse(uint32_t code, int len) {
    uint32_t r = 0;
    for (int i = 0; i < len; ++i, code >>= 1) r = r << 1 | (code & 1);
    return r;
  }
};

class Deflate64Decoder final : public Decoder {
 public:
  Deflate64Decoder() : window_(kWindowSize) {
    std::array<uint8_t, kMaxLitLen + kMaxDistance> lengths{};
    std::fill(lengths.begin(), lengths.begin() + 144, 8);
    std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
    std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
    std::fill(lengths.begin() + 280, lengths.begin() + kMaxLitLen, 8);
    std::fill(lengths.begin() + kMaxLitLen, lengths.end(), 5);
    fixed_lit_.Build(lengths.data(), kMaxLitLen, false);
    fixed_dist_.Build(lengths.data() + kMaxLitLen, kMaxDistance, false);
  }

  DecodeStep Decode(std::span<const unsigned char> input, std::span<unsigned char> output,
                    bool /*input_ends*/) override {
    in_ = input;
    in_pos_ = 0;
    out_ = output;
    out_pos_ = 0;
    while (state_ != State::kDone && state_ != State::kBad && Step()) {
    }
    DecodeStep step;
    step.consumed = in_pos_;
    step.produced = out_pos_;
    step.status = state_ == State::kDone  ? DecodeStatus::kEnd
                  : state_ == State::kBad ? DecodeStatus::kCorrupt
                                          : DecodeStatus::kMore;
    return step;
  }

  std::string Problem() const override { return state_ == State::kBad ? kDamaged : ""; }

  bool Reset(const DecoderParams& /*params*/) override {
    state_ = State::kBlockHeader;
    bits_ = 0;
    bit_count_ = 0;
    last_block_ = false;
    position_ = 0;
    filled_ = 0;
    return true;
  }

 private:
  enum class State {
    kBlockHeader,
    kStoredHeader,
    kStoredCopy,
    kTableCounts,
    kCodeLengthCode,
    kCodeLengths,
    kSymbols,
    kDistance,
    kCopy,
    kDone,
    kBad,
  };

  // One step of the state machine; false when it cannot go on with this input and output
  // (or the data ended or was refused).
  bool Step() {
    switch (state_) {
      case State::kBlockHeader:
        return BlockHeader();
      case State::kStoredHeader:
        return StoredHeader();
      case State::kStoredCopy:
        return StoredCopy();
      case State::kTableCounts:
        return TableCounts();
      case State::kCodeLengthCode:
        return CodeLengthCode();
      case State::kCodeLengths:
        return CodeLengths();
      case State::kSymbols:
        return Symbols();
      case State::kDistance:
        return Distance();
      case State::kCopy:
        return Copy();
      case State::kDone:
      case State::kBad:
        return false;
    }
    return false;
  }

  bool Fail() {
    state_ = State::kBad;
    return false;
  }

  // ---- Bits: taken from the input a byte at a time, when a step needs them ----

  bool Pull() {
    if (in_pos_ == in_.size()) return false;
    bits_ |= uint64_t{in_[in_pos_++]} << bit_count_;
    bit_count_ += 8;
    return true;
  }
  bool Need(int n) {
    while (bit_count_ < n)
      if (!Pull()) return false;
    return true;
  }
  uint32_t Peek(int n) const { return static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1)); }
  void Drop(int n) {
    bits_ >>= n;
    bit_count_ -= n;
  }

  // The next symbol of `h` and its code's length, without using its bits.
  Got PeekSymbol(const Huffman& h, int& symbol, int& length) {
    for (;;) {
      const uint16_t entry = h.table[bits_ & ((1u << kTableBits) - 1)];
      const int len = entry & 15;
      if (len == Huffman::kLong) {
        const Got got = PeekLong(h, symbol, length);
        if (got != Got::kNeedInput) return got;
      } else if (len != 0 && len <= bit_count_) {
        symbol = entry >> 4;
        length = len;
        return Got::kOk;
      } else if (len == 0 && bit_count_ >= kTableBits) {
        return Got::kBad;  // no code begins with these bits
      }
      if (!Pull()) return Got::kNeedInput;
    }
  }

  // A code longer than the table's, read bit by bit against the count of each length.
  Got PeekLong(const Huffman& h, int& symbol, int& length) const {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
      if (len > bit_count_) return Got::kNeedInput;
      code |= static_cast<int>((bits_ >> (len - 1)) & 1);
      const int count = h.count[len];
      if (code - count < first) {
        symbol = h.symbol[index + (code - first)];
        length = len;
        return Got::kOk;
      }
      index += count;
      first = (first + count) << 1;
      code <<= 1;
    }
    return Got::kBad;
  }

  // ---- Output, which also goes into the window ----

  void Put(unsigned char byte) {
    out_[out_pos_++] = byte;
    window_[position_++ & kWindowMask] = byte;
    if (filled_ < kWindowSize) ++filled_;
  }

  // ---- The states ----

  bool BlockHeader() {
    if (!Need(3)) return false;
    last_block_ = Peek(1) != 0;
    const uint32_t type = Peek(3) >> 1;
    Drop(3);
    switch (type) {
      case 0:
        state_ = State::kStoredHeader;
        return true;
      case 1:
        lit_ = &fixed_lit_;
        dist_ = &fixed_dist_;
        state_ = State::kSymbols;
        return true;
      case 2:
        state_ = State::kTableCounts;
        return true;
      default:
        return Fail();
    }
  }

  bool EndBlock() {
    state_ = last_block_ ? State::kDone : State::kBlockHeader;
    return state_ != State::kDone;
  }

  bool StoredHeader() {
    Drop(bit_count_ % 8);  // to the byte boundary
    if (!Need(32)) return false;
    const uint32_t length = Peek(16), complement = Peek(32) >> 16;
    if ((length ^ 0xFFFF) != complement) return Fail();
    Drop(32);
    stored_left_ = length;
    state_ = State::kStoredCopy;
    return true;
  }

  bool StoredCopy() {
    // Whole bytes still in the bit buffer come first.
    while (stored_left_ > 0 && bit_count_ >= 8 && out_pos_ < out_.size()) {
      Put(static_cast<unsigned char>(Peek(8)));
      Drop(8);
      --stored_left_;
    }
    size_t n =
        std::min<size_t>(stored_left_, std::min(in_.size() - in_pos_, out_.size() - out_pos_));
    if (bit_count_ >= 8) n = 0;
    for (size_t i = 0; i < n; ++i) Put(in_[in_pos_ + i]);
    in_pos_ += n;
    stored_left_ -= static_cast<uint32_t>(n);
    if (stored_left_ == 0) return EndBlock();
    return false;  // out of input or room
  }

  bool TableCounts() {
    if (!Need(14)) return false;
    lit_count_ = static_cast<int>(Peek(5)) + 257;
    dist_count_ = static_cast<int>(Peek(10) >> 5) + 1;
    code_length_count_ = static_cast<int>(Peek(14) >> 10) + 4;
    Drop(14);
    lengths_.fill(0);
    index_ = 0;
    state_ = State::kCodeLengthCode;
    return true;
  }

  bool CodeLengthCode() {
    for (; index_ < code_length_count_; ++index_) {
      if (!Need(3)) return false;
      lengths_[kCodeLengthOrder[index_]] = static_cast<uint8_t>(Peek(3));
      Drop(3);
    }
    if (!code_lengths_.Build(lengths_.data(), kMaxCodeLength, false)) return Fail();
    lengths_.fill(0);
    index_ = 0;
    state_ = State::kCodeLengths;
    return true;
  }

  bool CodeLengths() {
    const int total = lit_count_ + dist_count_;
    while (index_ < total) {
      int symbol = 0, len = 0;
      const Got got = PeekSymbol(code_lengths_, symbol, len);
      if (got != Got::kOk) return got == Got::kBad ? Fail() : false;
      if (symbol < 16) {
        Drop(len);
        lengths_[index_++] = static_cast<uint8_t>(symbol);
        continue;
      }
      const int extra = symbol == 16 ? 2 : symbol == 17 ? 3 : 7;
      if (!Need(len + extra)) return false;
      const int base = symbol == 16 ? 3 : symbol == 17 ? 3 : 11;
      const int repeat = base + static_cast<int>(Peek(len + extra) >> len);
      if (symbol == 16 && index_ == 0) return Fail();  // nothing to repeat
      if (repeat > total - index_) return Fail();      // past the last length
      const uint8_t value = symbol == 16 ? lengths_[index_ - 1] : 0;
      Drop(len + extra);
      std::fill_n(lengths_.begin() + index_, repeat, value);
      index_ += repeat;
    }
    if (lengths_[kEndOfBlock] == 0) return Fail();  // a block that could never end
    if (!dyn_lit_.Build(lengths_.data(), lit_count_, true) ||
        !dyn_dist_.Build(lengths_.data() + lit_count_, dist_count_, true))
      return Fail();
    lit_ = &dyn_lit_;
    dist_ = &dyn_dist_;
    state_ = State::kSymbols;
    return true;
  }

  bool Symbols() {
    for (;;) {
      int symbol = 0, len = 0;
      const Got got = PeekSymbol(*lit_, symbol, len);
      if (got != Got::kOk) return got == Got::kBad ? Fail() : false;
      if (symbol < 256) {
        if (out_pos_ == out_.size()) return false;
        Drop(len);
        Put(static_cast<unsigned char>(symbol));
        continue;
      }
      if (symbol == kEndOfBlock) {
        Drop(len);
        return EndBlock();
      }
      const int index = symbol - 257;
      if (index >= 29) return Fail();  // 286 and 287 have no meaning
      const int extra = kLengthExtra[index];
      if (!Need(len + extra)) return false;
      copy_length_ = kLengthBase[index] + (Peek(len + extra) >> len);
      Drop(len + extra);
      state_ = State::kDistance;
      return true;
    }
  }

  bool Distance() {
    int symbol = 0, len = 0;
    const Got got = PeekSymbol(*dist_, symbol, len);
    if (got != Got::kOk) return got == Got::kBad ? Fail() : false;
    const int extra = kDistanceExtra[symbol];
    if (!Need(len + extra)) return false;
    copy_distance_ = kDistanceBase[symbol] + (Peek(len + extra) >> len);
    Drop(len + extra);
    if (copy_distance_ > filled_) return Fail();  // before the first byte
    state_ = State::kCopy;
    return true;
  }

  bool Copy() {
    const size_t n = std::min<size_t>(copy_length_, out_.size() - out_pos_);
    for (size_t i = 0; i < n; ++i) Put(window_[(position_ - copy_distance_) & kWindowMask]);
    copy_length_ -= static_cast<uint32_t>(n);
    if (copy_length_ > 0) return false;  // out of room
    state_ = State::kSymbols;
    return true;
  }

  // The call's input and output.
  std::span<const unsigned char> in_;
  size_t in_pos_ = 0;
  std::span<unsigned char> out_;
  size_t out_pos_ = 0;

  State state_ = State::kBlockHeader;
  uint64_t bits_ = 0;  // bits not used yet, the next one lowest; none above bit_count_
  int bit_count_ = 0;
  bool last_block_ = false;

  std::vector<unsigned char> window_;
  uint32_t position_ = 0;  // bytes produced, modulo 2^32
  uint32_t filled_ = 0;    // bytes of the window that hold output

  uint32_t stored_left_ = 0;
  int lit_count_ = 0, dist_count_ = 0, code_length_count_ = 0, index_ = 0;
  std::array<uint8_t, kMaxLitLen + kMaxDistance> lengths_{};
  Huffman fixed_lit_, fixed_dist_, code_lengths_, dyn_lit_, dyn_dist_;
  const Huffman* lit_ = &fixed_lit_;
  const Huffman* dist_ = &fixed_dist_;
  uint32_t copy_length_ = 0;
  uint32_t copy_distance_ = 0;
};

}  // namespace

std::unique_ptr<Decoder> MakeDeflate64Decoder(const DecoderParams& /*params*/) {
  return std::make_unique<Deflate64Decoder>();
}

}  // namespace nocunzip::unzip32
