// Writes decoded pieces on a second thread while the thread that decodes goes on, so that
// the first one does nothing but decode. A few pieces of kStreamBufferSize bytes wait at
// most; they are the decoding thread's own buffers, kept from entry to entry.
#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "workers/entry_decoder.h"

namespace nocunzip::unzip32 {

// The buffer that streamed entries pass through.
inline constexpr size_t kStreamBufferSize = 256u << 10;
// The pieces that wait at most to be written: one being written, one being filled and one
// to spare keeps both threads busy; more only holds memory.
inline constexpr size_t kWriteBehindPieces = 3;

class WriteBehind {
 public:
  using Pieces = std::array<std::vector<unsigned char>, kWriteBehindPieces>;
  // With `checks`, the writing thread also computes the CRC of what it writes. Throws
  // std::system_error when no thread can be started.
  WriteBehind(ByteSink& sink, bool checks, Pieces& pieces);
  ~WriteBehind() { Finish(); }
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // A free piece of kStreamBufferSize bytes to fill, or null once writing failed.
  unsigned char* Next();
  // The piece from Next holds `size` bytes now.
  void Hand(size_t size);
  // Waits until every piece handed is written; the CRC of them all.
  IoResult Finish(uint32_t* crc = nullptr);

 private:
  static constexpr size_t kPieces = kWriteBehindPieces;

  void Run();

  ByteSink& sink_;
  const bool checks_;
  Pieces& pieces_;
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

}  // namespace nocunzip::unzip32
