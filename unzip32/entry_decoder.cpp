#include "entry_decoder.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "archive_source.h"

namespace nocunzip::unzip32 {
namespace {

DecodeResult Corrupt(std::string message) {
  DecodeResult result;
  result.status = DecodeResult::kCorrupt;
  result.message = std::move(message);
  return result;
}

DecodeResult FromWrite(const IoResult& io) {
  DecodeResult result;
  result.status =
      io.status == IoResult::kDiskFull ? DecodeResult::kDiskFull : DecodeResult::kWriteFailed;
  result.message = io.message;
  return result;
}

std::string HexCrc(uint32_t crc) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(crc >> shift) & 0xF];
  return text;
}

// libzip's error on reading the entry, in the words of this library.
DecodeResult ReadFailure(zip_file_t* file) {
  zip_error_t* error = zip_file_get_error(file);
  switch (zip_error_code_zip(error)) {
    case ZIP_ER_CRC:
      return Corrupt("CRC mismatch: the data is damaged");
    case ZIP_ER_INCONS:
      return Corrupt("the data does not match the sizes in the archive");
    case ZIP_ER_EOF:
      return Corrupt("the data ends early: the archive is truncated");
    case ZIP_ER_WRONGPASSWD:
      return Corrupt("wrong password: the data does not authenticate");
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
      return Corrupt("the compressed data is damaged");
    default:
      return Corrupt("cannot read the data: " + ZipErrorText(error));
  }
}

DecodeResult CheckResult(const EntryFacts& facts, uint64_t size, uint32_t crc) {
  if (size != facts.uncompressed_size) {
    return Corrupt("size mismatch: " + std::to_string(size) + " bytes instead of the declared " +
                   std::to_string(facts.uncompressed_size));
  }
  if (facts.crc_known && crc != facts.crc) {
    return Corrupt("CRC mismatch: " + HexCrc(crc) + " instead of " + HexCrc(facts.crc) +
                   ": the data is damaged");
  }
  return {};
}

// Reads an entry's data piece by piece, from libzip or from the archive file itself.
class ChunkSource {
 public:
  ChunkSource(const EntryData& data, const EntryFacts& facts)
      : data_(data), left_(facts.compressed_size) {}

  // Bytes read into `buffer` (0 at the end of the data), or -1 with `failure` set.
  int64_t Read(unsigned char* buffer, size_t size, DecodeResult* failure) {
    if (data_.file != nullptr) {
      const zip_int64_t n = zip_fread(data_.file, buffer, size);
      if (n < 0) *failure = ReadFailure(data_.file);
      return n;
    }
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, left_));
    if (n == 0) return 0;
    if (!data_.archive->ReadAt(data_.offset + position_, buffer, n)) {
      *failure = Corrupt("the data ends early: the archive is truncated");
      return -1;
    }
    position_ += n;
    left_ -= n;
    return static_cast<int64_t>(n);
  }

 private:
  const EntryData& data_;
  uint64_t position_ = 0;
  uint64_t left_;
};

DecodeResult DecodeWhole(const EntryData& data, const EntryFacts& facts, ByteSink& sink,
                         DecodeBuffers& buffers) {
  ChunkSource source(data, facts);
  DecodeResult failure;
  const size_t compressed = static_cast<size_t>(facts.compressed_size);
  const size_t expected = static_cast<size_t>(facts.uncompressed_size);
  // One byte more than declared, to notice data that goes on.
  buffers.raw.resize(compressed + 1);
  buffers.inflated.resize(expected + 1);
  size_t got = 0;
  for (;;) {
    const int64_t n = source.Read(buffers.raw.data() + got, buffers.raw.size() - got, &failure);
    if (n < 0) return failure;
    if (n == 0) break;
    got += static_cast<size_t>(n);
    if (got == buffers.raw.size()) break;
  }
  // Encrypted data carries its salt and check bytes in the compressed size as well.
  if (facts.encryption == ZIP_EM_NONE ? got != compressed : got > compressed) {
    return Corrupt("the compressed data does not have its declared size");
  }
  size_t produced = 0;
  const libdeflate_result inflated =
      libdeflate_deflate_decompress(buffers.decompressor, buffers.raw.data(), compressed,
                                    buffers.inflated.data(), expected, &produced);
  if (inflated == LIBDEFLATE_INSUFFICIENT_SPACE) {
    return Corrupt("size mismatch: the data is larger than the declared " +
                   std::to_string(facts.uncompressed_size) + " bytes");
  }
  if (inflated != LIBDEFLATE_SUCCESS) return Corrupt("the compressed data is damaged");
  const uint32_t crc = libdeflate_crc32(0, buffers.inflated.data(), produced);
  if (DecodeResult check = CheckResult(facts, produced, crc); !check.ok()) return check;
  if (IoResult written = sink.Write(buffers.inflated.data(), produced); !written.ok()) {
    return FromWrite(written);
  }
  return {};
}

DecodeResult DecodeStream(const EntryData& data, const EntryFacts& facts, ByteSink& sink,
                          DecodeBuffers& buffers) {
  ChunkSource source(data, facts);
  DecodeResult failure;
  buffers.stream.resize(kStreamBufferSize);
  uint64_t total = 0;
  uint32_t crc = 0;
  for (;;) {
    const int64_t n = source.Read(buffers.stream.data(), buffers.stream.size(), &failure);
    if (n < 0) return failure;
    if (n == 0) break;
    const auto got = static_cast<uint64_t>(n);
    if (got > facts.uncompressed_size - total) {
      return Corrupt("size mismatch: the data is larger than the declared " +
                     std::to_string(facts.uncompressed_size) + " bytes");
    }
    total += got;
    crc = libdeflate_crc32(crc, buffers.stream.data(), static_cast<size_t>(got));
    if (IoResult written = sink.Write(buffers.stream.data(), static_cast<size_t>(got));
        !written.ok()) {
      return FromWrite(written);
    }
  }
  return CheckResult(facts, total, crc);
}

class InflateStream {
 public:
  InflateStream() { ok_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
  ~InflateStream() {
    if (ok_) inflateEnd(&stream_);
  }
  bool ok() const { return ok_; }
  z_stream* get() { return &stream_; }

 private:
  z_stream stream_{};
  bool ok_ = false;
};

// Takes inflated pieces from the thread that inflates and checks and writes them on a
// second thread, so that the first one does nothing but inflate. A few pieces wait at most.
class WriteBehind {
 public:
  explicit WriteBehind(ByteSink& sink) : sink_(sink) {
    for (auto& piece : pieces_) piece.resize(kStreamBufferSize);
    thread_ = std::thread([this] { Run(); });  // may throw std::system_error
  }
  ~WriteBehind() { Finish(); }
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // A free piece of kStreamBufferSize bytes to fill, or null once writing failed.
  unsigned char* Next() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return handed_ - written_ < kPieces || !result_.ok(); });
    return result_.ok() ? pieces_[handed_ % kPieces].data() : nullptr;
  }
  // The piece from Next holds `size` bytes now.
  void Hand(size_t size) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      sizes_[handed_ % kPieces] = size;
      ++handed_;
    }
    changed_.notify_all();
  }
  // Waits until every piece handed is written; the CRC of them all.
  IoResult Finish(uint32_t* crc = nullptr) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closed_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (crc != nullptr) *crc = crc_;
    return result_;
  }

 private:
  static constexpr size_t kPieces = 3;

  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return written_ < handed_ || closed_; });
      if (written_ == handed_) return;
      const unsigned char* data = pieces_[written_ % kPieces].data();
      const size_t size = sizes_[written_ % kPieces];
      lock.unlock();
      crc_ = libdeflate_crc32(crc_, data, size);
      IoResult written = sink_.Write(data, size);
      lock.lock();
      ++written_;
      if (!written.ok()) {
        result_ = std::move(written);
        changed_.notify_all();
        return;
      }
      changed_.notify_all();
    }
  }

  ByteSink& sink_;
  std::vector<unsigned char> pieces_[kPieces];
  size_t sizes_[kPieces] = {};
  std::mutex mutex_;
  std::condition_variable changed_;
  uint64_t handed_ = 0;
  uint64_t written_ = 0;
  bool closed_ = false;
  uint32_t crc_ = 0;  // of the pieces written, touched by the writing thread until joined
  IoResult result_;
  std::thread thread_;
};

DecodeResult DecodeRawDeflate(const EntryData& data, const EntryFacts& facts, ByteSink& sink,
                              DecodeBuffers& buffers) {
  ChunkSource source(data, facts);
  DecodeResult failure;
  buffers.compressed_stream.resize(kStreamBufferSize);
  InflateStream inflater;
  if (!inflater.ok()) return Corrupt("cannot start inflating");
  std::unique_ptr<WriteBehind> behind;
  if (sink.WritesOffThread()) {
    try {
      behind = std::make_unique<WriteBehind>(sink);
    } catch (const std::system_error&) {
      // no second thread: write here
    }
  }
  if (behind == nullptr) buffers.stream.resize(kStreamBufferSize);
  // A write that failed before is what the entry failed of, even when the data turns out
  // damaged later.
  auto fail = [&behind](DecodeResult result) {
    if (behind != nullptr) {
      if (IoResult written = behind->Finish(); !written.ok()) return FromWrite(written);
    }
    return result;
  };
  z_stream* z = inflater.get();
  uint64_t total = 0;
  uint32_t crc = 0;
  bool input_done = false;
  for (;;) {
    if (z->avail_in == 0 && !input_done) {
      const int64_t n =
          source.Read(buffers.compressed_stream.data(), buffers.compressed_stream.size(), &failure);
      if (n < 0) return fail(failure);
      input_done = n == 0;
      z->next_in = buffers.compressed_stream.data();
      z->avail_in = static_cast<uInt>(n);
    }
    unsigned char* out = behind != nullptr ? behind->Next() : buffers.stream.data();
    if (out == nullptr) return fail({});
    z->next_out = out;
    z->avail_out = static_cast<uInt>(kStreamBufferSize);
    const int status = inflate(z, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
      return fail(Corrupt("the compressed data is damaged"));
    }
    const size_t got = kStreamBufferSize - z->avail_out;
    if (got > facts.uncompressed_size - total) {
      return fail(Corrupt("size mismatch: the data is larger than the declared " +
                          std::to_string(facts.uncompressed_size) + " bytes"));
    }
    total += got;
    if (behind != nullptr) {
      if (got > 0) behind->Hand(got);
    } else {
      crc = libdeflate_crc32(crc, out, got);
      if (got > 0) {
        if (IoResult written = sink.Write(out, got); !written.ok()) return FromWrite(written);
      }
    }
    if (status == Z_STREAM_END) break;
    if (got == 0 && z->avail_in == 0 && input_done) {
      return fail(Corrupt("the compressed data ends early: the archive is truncated or damaged"));
    }
  }
  if (behind != nullptr) {
    if (IoResult written = behind->Finish(&crc); !written.ok()) return FromWrite(written);
  }
  // Read to the end, so that libzip checks the authentication code of AES entries.
  for (;;) {
    const int64_t n =
        source.Read(buffers.compressed_stream.data(), buffers.compressed_stream.size(), &failure);
    if (n < 0) return failure;
    if (n == 0) break;
  }
  return CheckResult(facts, total, crc);
}

// Stored data, read straight from the archive. A sink that copies ranges gets the bytes
// inside the system on a second thread, while this one reads them once more for the CRC;
// the sink's file is only kept by its commit, after the check.
DecodeResult DecodeStored(const EntryData& data, const EntryFacts& facts, ByteSink& sink,
                          DecodeBuffers& buffers) {
  if (facts.compressed_size != facts.uncompressed_size) {
    return Corrupt("the data does not match the sizes in the archive");
  }
  const uint64_t size = facts.uncompressed_size;
  if (!sink.CopiesRanges() || size < kParallelCopyMinimum) {
    return DecodeStream(data, facts, sink, buffers);
  }
  IoResult copied;
  std::thread copier;
  try {
    copier = std::thread([&] { copied = sink.CopyRange(data.offset, size); });
  } catch (const std::system_error&) {
    copied = sink.CopyRange(data.offset, size);  // no second thread: one after the other
  }
  buffers.stream.resize(kStreamBufferSize);
  ChunkSource source(data, facts);
  DecodeResult failure;
  uint64_t total = 0;
  uint32_t crc = 0;
  for (;;) {
    const int64_t n = source.Read(buffers.stream.data(), buffers.stream.size(), &failure);
    if (n <= 0) break;
    crc = libdeflate_crc32(crc, buffers.stream.data(), static_cast<size_t>(n));
    total += static_cast<uint64_t>(n);
  }
  if (copier.joinable()) copier.join();
  if (!failure.ok()) return failure;
  if (!copied.ok()) return FromWrite(copied);
  return CheckResult(facts, total, crc);
}

}  // namespace

DecodeWay ChooseDecodeWay(const EntryFacts& facts) {
  if (facts.method == ZIP_CM_STORE && facts.encryption == ZIP_EM_NONE) return DecodeWay::kStored;
  if (facts.method != ZIP_CM_DEFLATE) return DecodeWay::kLibzipStream;
  const bool aes = facts.encryption == ZIP_EM_AES_128 || facts.encryption == ZIP_EM_AES_192 ||
                   facts.encryption == ZIP_EM_AES_256;
  if (facts.encryption != ZIP_EM_NONE && !aes) return DecodeWay::kLibzipStream;
  if (facts.compressed_size <= kWholeBufferLimit && facts.uncompressed_size <= kWholeBufferLimit) {
    return DecodeWay::kWholeDeflate;
  }
  return DecodeWay::kRawDeflate;
}

bool ReadsArchiveDirectly(const EntryFacts& facts) {
  return facts.encryption == ZIP_EM_NONE && ChooseDecodeWay(facts) != DecodeWay::kLibzipStream;
}

zip_flags_t OpenFlagsFor(DecodeWay way) {
  return way == DecodeWay::kLibzipStream ? zip_flags_t{0} : zip_flags_t{ZIP_FL_COMPRESSED};
}

DecodeResult WriteResult(const IoResult& written) {
  return written.ok() ? DecodeResult{} : FromWrite(written);
}

DecodeBuffers::DecodeBuffers() : decompressor(libdeflate_alloc_decompressor()) {
  if (decompressor == nullptr) throw std::bad_alloc();
}

DecodeBuffers::~DecodeBuffers() { libdeflate_free_decompressor(decompressor); }

DecodeResult DecodeEntry(const EntryData& data, const EntryFacts& facts, ByteSink& sink,
                         DecodeBuffers& buffers) {
  switch (ChooseDecodeWay(facts)) {
    case DecodeWay::kStored:
      return DecodeStored(data, facts, sink, buffers);
    case DecodeWay::kWholeDeflate:
      return DecodeWhole(data, facts, sink, buffers);
    case DecodeWay::kRawDeflate:
      return DecodeRawDeflate(data, facts, sink, buffers);
    case DecodeWay::kLibzipStream:
      break;
  }
  return DecodeStream(data, facts, sink, buffers);
}

}  // namespace nocunzip::unzip32
