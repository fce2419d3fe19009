#include <algorithm>
#include <cstdint>
#include <memory>
#include <system_error>

#include "methods/checksum.h"
#include "workers/decode_ways.h"

namespace nocunzip::unzip32 {
namespace {

// Stored entries at least this large are read and checked on one thread and written on a
// second one; below it, starting the thread costs more than it saves.
constexpr uint64_t kParallelCopyMinimum = 4u << 20;

// Copies on this thread alone.
DecodeResult CopyStored(ByteReader& archive, uint64_t offset, const Entry& entry, ByteSink& sink,
                        DecodeWorkspace& buffers) {
  buffers.stream.resize(kStreamBufferSize);
  const uint64_t size = entry.uncompressed_size;
  uint32_t crc = 0;
  for (uint64_t done = 0; done < size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kStreamBufferSize, size - done));
    if (!archive.ReadAt(offset + done, buffers.stream.data(), n)) return Corrupt(kCutShort);
    crc = Crc32(crc, buffers.stream.data(), n);
    if (IoResult written = sink.Write(buffers.stream.data(), n); !written.ok()) {
      return WriteResult(written);
    }
    done += n;
  }
  return CheckResult(entry, size, crc);
}

}  // namespace

// Large stored data: read and checked on this thread, written on a second one, so that
// each thread makes one pass over the bytes, the read and the write at once. The file is
// only kept by its commit, after the check.
DecodeResult DecodeStored(ByteReader& archive, uint64_t offset, const Entry& entry, ByteSink& sink,
                          DecodeWorkspace& buffers) {
  if (entry.compressed_size < entry.uncompressed_size) {
    return Shorter(entry.compressed_size, entry);
  }
  if (entry.compressed_size > entry.uncompressed_size) return Corrupt(kLonger);
  const uint64_t size = entry.uncompressed_size;
  std::unique_ptr<WriteBehind> behind;
  if (sink.WritesOffThread() && size >= kParallelCopyMinimum) {
    try {
      behind = std::make_unique<WriteBehind>(sink, false, buffers.behind);
    } catch (const std::system_error&) {
      // no second thread: copy here
    }
  }
  if (behind == nullptr) return CopyStored(archive, offset, entry, sink, buffers);
  uint32_t crc = 0;
  for (uint64_t done = 0; done < size;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kStreamBufferSize, size - done));
    unsigned char* room = behind->Next();
    if (room == nullptr) break;  // writing failed: Finish says why
    if (!archive.ReadAt(offset + done, room, n)) return Corrupt(kCutShort);
    crc = Crc32(crc, room, n);
    behind->Hand(n);
    done += n;
  }
  if (IoResult written = behind->Finish(); !written.ok()) return WriteResult(written);
  return CheckResult(entry, size, crc);
}

}  // namespace nocunzip::unzip32
