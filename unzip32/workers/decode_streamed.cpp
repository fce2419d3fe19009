#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <span>
#include <system_error>

#include "methods/checksum.h"
#include "read/zip_format.h"
#include "workers/decode_ways.h"

namespace nocunzip::unzip32 {
namespace {

constexpr char kDamaged[] = "the compressed data is damaged";
constexpr char kNotAuthentic[] =
    "the authentication code does not match (wrong password or damaged data)";

// Streamed entries at least this large are checked and written on a second thread while
// this one decodes; below it, starting the thread costs more than it saves.
constexpr uint64_t kWriteBehindMinimum = 1u << 20;

// The data of an entry (without encryption header and trailer), read from the archive in
// pieces and decrypted as it comes.
class DataReader {
 public:
  DataReader(ByteReader& archive, uint64_t offset, uint64_t size, Cipher* cipher,
             std::vector<unsigned char>& buffer)
      : archive_(archive), offset_(offset), left_(size), cipher_(cipher), buffer_(buffer) {}

  // The bytes read and not yet used.
  std::span<const unsigned char> pending() const {
    return std::span<const unsigned char>(buffer_).subspan(begin_, end_ - begin_);
  }
  void Consume(size_t n) { begin_ += n; }
  // Whether nothing follows what is pending.
  bool ends() const { return left_ == 0; }
  // The bytes not used yet: pending, or not read.
  uint64_t unused() const { return left_ + (end_ - begin_); }

  // Moves what is pending to the front and fills the rest of the buffer; false when the
  // archive ends first.
  bool Refill() {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(buffer_.size() - end_, left_));
    if (n == 0) return true;
    unsigned char* fresh = buffer_.data() + end_;
    if (!archive_.ReadAt(offset_, fresh, n)) return false;
    if (cipher_ != nullptr) cipher_->Decrypt(std::span(fresh, n));
    offset_ += n;
    left_ -= n;
    end_ += n;
    return true;
  }

  // Reads and decrypts the rest of the data unused, for the cipher's check.
  bool Drain() {
    begin_ = end_ = 0;
    while (left_ > 0) {
      if (!Refill()) return false;
      begin_ = end_ = 0;
    }
    return true;
  }

 private:
  ByteReader& archive_;
  uint64_t offset_;  // of the next byte to read
  uint64_t left_;    // bytes not read yet
  Cipher* cipher_;
  std::vector<unsigned char>& buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
};

// Where decoded pieces go: checked and written here, or handed to a WriteBehind.
class DecodedOutput {
 public:
  DecodedOutput(ByteSink& sink, bool behind, std::vector<unsigned char>& buffer,
                WriteBehind::Pieces& pieces)
      : sink_(sink), buffer_(buffer) {
    if (behind && sink.WritesOffThread()) {
      try {
        behind_ = std::make_unique<WriteBehind>(sink, true, pieces);
      } catch (const std::system_error&) {
        // no second thread: write here
      }
    }
    if (behind_ == nullptr) buffer_.resize(kStreamBufferSize);
  }

  // Room for kStreamBufferSize bytes, or null once writing failed.
  unsigned char* Next() {
    if (behind_ != nullptr) return behind_->Next();
    return result_.ok() ? buffer_.data() : nullptr;
  }
  // The room from Next holds `size` bytes now.
  void Hand(size_t size) {
    if (size == 0) return;
    if (behind_ != nullptr) return behind_->Hand(size);
    crc_ = Crc32(crc_, buffer_.data(), size);
    result_ = sink_.Write(buffer_.data(), size);
  }
  // Waits for every write; how writing went and the CRC of all that was handed.
  IoResult Finish(uint32_t* crc) {
    if (behind_ != nullptr) return behind_->Finish(crc);
    *crc = crc_;
    return result_;
  }

 private:
  ByteSink& sink_;
  std::vector<unsigned char>& buffer_;
  std::unique_ptr<WriteBehind> behind_;
  uint32_t crc_ = 0;
  IoResult result_;
};

// The decoder for `entry`, the one of the last entry reset when it has the same method.
Decoder* DecoderFor(const Entry& entry, uint64_t data_size, DecodeWorkspace& buffers) {
  const DecoderParams params{entry.method, entry.flags, data_size, entry.uncompressed_size};
  if (buffers.decoder != nullptr && buffers.decoder_method == entry.method &&
      buffers.decoder->Reset(params)) {
    return buffers.decoder.get();
  }
  buffers.decoder.reset();
  buffers.decoder = MakeDecoder(params);
  buffers.decoder_method = entry.method;
  return buffers.decoder.get();
}

// Data that end before their recorded size: what follows them within it is no part of the
// entry, and a reader that goes by where the data end takes it for the next record.
DecodeResult EndsEarly(uint64_t unused) {
  return Corrupt("the compressed data end " + std::to_string(unused) +
                 " bytes before their recorded size, and those bytes are not read");
}

DecodeResult DecoderProblem(const Decoder& decoder) {
  std::string problem = decoder.Problem();
  return Corrupt(problem.empty() ? kDamaged : std::move(problem));
}

// Runs `decoder` over the input into the output until the data ends, adding the bytes
// produced to `total`. Returns ok also when writing failed: the output says so.
DecodeResult RunDecoder(Decoder& decoder, DataReader& input, DecodedOutput& output,
                        const Entry& entry, uint64_t* total) {
  for (;;) {
    if (input.pending().empty() && !input.ends() && !input.Refill()) return Corrupt(kCutShort);
    unsigned char* room = output.Next();
    if (room == nullptr) return {};
    const bool ends = input.ends();
    const DecodeStep step =
        decoder.Decode(input.pending(), std::span(room, kStreamBufferSize), ends);
    input.Consume(step.consumed);
    if (step.produced > entry.uncompressed_size - *total) return Corrupt(kLonger);
    *total += step.produced;
    output.Hand(step.produced);
    if (step.status == DecodeStatus::kEnd) {
      const uint64_t unused = input.unused() + step.given_back;
      return unused == 0 ? DecodeResult{} : EndsEarly(unused);
    }
    if (step.status == DecodeStatus::kCorrupt) return DecoderProblem(decoder);
    if (step.consumed > 0 || step.produced > 0) continue;
    // Nothing moved although there was room: the decoder needs more input than it has.
    if (ends) {
      std::string message = "the compressed data ends early";
      if (*total < entry.uncompressed_size) message += ": " + Shorter(*total, entry).message;
      return Corrupt(std::move(message));
    }
    const size_t before = input.pending().size();
    if (!input.Refill()) return Corrupt(kCutShort);
    if (input.pending().size() == before) return DecoderProblem(decoder);
  }
}

// Reads the rest of the data and the trailer, and lets the cipher check them.
DecodeResult Authenticate(ByteReader& archive, uint64_t trailer_offset, DataReader& input,
                          Cipher& cipher) {
  std::array<unsigned char, 64> trailer;
  const size_t size = cipher.trailer_size();
  if (size > trailer.size()) return Corrupt(kNotAuthentic);
  if (!input.Drain() || !archive.ReadAt(trailer_offset, trailer.data(), size)) {
    return Corrupt(kCutShort);
  }
  if (!cipher.Finish(std::span(trailer.data(), size))) return Corrupt(kNotAuthentic);
  return {};
}

}  // namespace

// ---- Unencrypted deflate data that fits one buffer: inflated in one call, through the
// same decoder as streamed data.

DecodeResult InflateWhole(ByteReader& archive, uint64_t offset, const Entry& entry, ByteSink& sink,
                          DecodeWorkspace& buffers) {
  const size_t compressed = static_cast<size_t>(entry.compressed_size);
  const size_t expected = static_cast<size_t>(entry.uncompressed_size);
  // A byte more than declared: data that inflate to more are caught without a second call.
  unsigned char* raw = buffers.raw.Reserve(compressed + 1);
  unsigned char* inflated = buffers.inflated.Reserve(expected + 1);
  if (!archive.ReadAt(offset, raw, compressed)) return Corrupt(kCutShort);
  Decoder* decoder = DecoderFor(entry, compressed, buffers);
  if (decoder == nullptr) return Corrupt(kDamaged);
  const DecodeStep step = decoder->Decode(std::span<const unsigned char>(raw, compressed),
                                          std::span<unsigned char>(inflated, expected + 1), true);
  if (step.status == DecodeStatus::kCorrupt) return DecoderProblem(*decoder);
  if (step.produced > expected) return Corrupt(kLonger);
  if (step.status != DecodeStatus::kEnd) {
    return Corrupt("the compressed data ends early: " + Shorter(step.produced, entry).message);
  }
  if (const uint64_t unused = compressed - step.consumed + step.given_back; unused > 0) {
    return EndsEarly(unused);
  }
  const uint32_t crc = Crc32(0, inflated, step.produced);
  if (DecodeResult check = CheckResult(entry, step.produced, crc); !check.ok()) return check;
  return WriteResult(sink.Write(inflated, step.produced));
}

DecodeResult DecodeStreamed(ByteReader& archive, uint64_t offset, const Entry& entry,
                            Cipher* cipher, ByteSink& sink, DecodeWorkspace& buffers) {
  const uint64_t header = cipher != nullptr ? cipher->header_size() : 0;
  const uint64_t trailer = cipher != nullptr ? cipher->trailer_size() : 0;
  if (entry.compressed_size < header + trailer) {
    return Corrupt("the data is shorter than its encryption header");
  }
  const uint64_t data_size = entry.compressed_size - header - trailer;
  Decoder* decoder = DecoderFor(entry, data_size, buffers);
  if (decoder == nullptr) {
    return Corrupt("compression method " + MethodName(entry.method) + " is not supported");
  }
  buffers.compressed_stream.resize(kStreamBufferSize);
  DataReader input(archive, offset + header, data_size, cipher, buffers.compressed_stream);
  DecodedOutput output(sink, entry.uncompressed_size >= kWriteBehindMinimum, buffers.stream,
                       buffers.behind);
  uint64_t total = 0;
  const DecodeResult decoded = RunDecoder(*decoder, input, output, entry, &total);
  uint32_t crc = 0;
  // A write that failed is what the entry failed of, even when the data is damaged too.
  if (const IoResult written = output.Finish(&crc); !written.ok()) return WriteResult(written);
  // A wrong AES password that passed the check bytes shows as damaged data: the code says
  // which it is.
  if (cipher != nullptr && trailer > 0) {
    const DecodeResult authentic =
        Authenticate(archive, offset + header + data_size, input, *cipher);
    if (!authentic.ok()) return authentic;
  }
  if (!decoded.ok()) return decoded;
  return CheckResult(entry, total, crc);
}

}  // namespace nocunzip::unzip32
