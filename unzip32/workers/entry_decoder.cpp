#include "workers/entry_decoder.h"

#include <algorithm>

#include "read/zip_format.h"
#include "workers/decode_ways.h"

namespace nocunzip::unzip32 {
namespace {

// What the threads of a run inflate in one buffer, compressed and uncompressed, all
// together: twice this. Larger entries stream; smaller ones save the streaming loop's
// calls, which count most for the many small entries of source trees and documents.
constexpr uint64_t kWholeBufferLimit = 4u << 20;

std::string HexCrc(uint32_t crc) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(crc >> shift) & 0xF];
  return text;
}

enum class DecodeWay {
  kStored,        // unencrypted stored data, copied straight from the archive
  kWholeDeflate,  // unencrypted deflate data inflated in one buffer
  kStream,        // read, decrypted and decoded piece by piece
};

DecodeWay ChooseDecodeWay(const Entry& entry, uint64_t whole_limit) {
  if (entry.encryption != Encryption::kNone) return DecodeWay::kStream;
  if (entry.method == zip::kMethodStored) return DecodeWay::kStored;
  if (entry.method == zip::kMethodDeflate && entry.compressed_size <= whole_limit &&
      entry.uncompressed_size <= whole_limit) {
    return DecodeWay::kWholeDeflate;
  }
  return DecodeWay::kStream;
}

}  // namespace

DecodeResult Corrupt(std::string message) {
  DecodeResult result;
  result.status = DecodeResult::kCorrupt;
  result.message = std::move(message);
  return result;
}

DecodeResult Shorter(uint64_t size, const Entry& entry) {
  return Corrupt("the data is shorter than its declared size (" + std::to_string(size) + " of " +
                 std::to_string(entry.uncompressed_size) + " bytes)");
}

DecodeResult CheckResult(const Entry& entry, uint64_t size, uint32_t crc) {
  if (size < entry.uncompressed_size) return Shorter(size, entry);
  if (size > entry.uncompressed_size) return Corrupt(kLonger);
  if (entry.crc_known && crc != entry.crc) {
    return Corrupt("CRC mismatch: the data's CRC " + HexCrc(crc) + " does not match the " +
                   HexCrc(entry.crc) + " declared");
  }
  return {};
}

DecodeResult WriteResult(const IoResult& written) {
  if (written.ok()) return {};
  DecodeResult result;
  result.status =
      written.status == IoResult::kDiskFull ? DecodeResult::kDiskFull : DecodeResult::kWriteFailed;
  result.message = written.message;
  return result;
}

DecodeBuffers::DecodeBuffers(unsigned threads) : workspace_(std::make_unique<Workspace>()) {
  workspace_->whole_limit = kWholeBufferLimit / (2 * std::max(1u, threads));
}
DecodeBuffers::~DecodeBuffers() = default;

DecodeResult DecodeEntry(ByteReader& archive, uint64_t data_offset, const Entry& entry,
                         Cipher* cipher, ByteSink& sink, DecodeBuffers& buffers) {
  if (cipher == nullptr && entry.encryption != Encryption::kNone) {
    return Corrupt("the entry is encrypted and no password was checked");
  }
  // Data that the archive does not hold is refused before anything is written.
  if (data_offset > archive.size() || entry.compressed_size > archive.size() - data_offset) {
    return Corrupt(kCutShort);
  }
  DecodeWorkspace& workspace = buffers.workspace();
  if (cipher == nullptr) {
    switch (ChooseDecodeWay(entry, workspace.whole_limit)) {
      case DecodeWay::kStored:
        return DecodeStored(archive, data_offset, entry, sink, workspace);
      case DecodeWay::kWholeDeflate:
        return InflateWhole(archive, data_offset, entry, sink, workspace);
      case DecodeWay::kStream:
        break;
    }
  }
  return DecodeStreamed(archive, data_offset, entry, cipher, sink, workspace);
}

}  // namespace nocunzip::unzip32
