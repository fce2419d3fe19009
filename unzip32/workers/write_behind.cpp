#include "workers/write_behind.h"

#include "methods/checksum.h"

namespace nocunzip::unzip32 {

WriteBehind::WriteBehind(ByteSink& sink, bool checks, Pieces& pieces)
    : sink_(sink), checks_(checks), pieces_(pieces) {
  for (auto& piece : pieces_) piece.resize(kStreamBufferSize);
  thread_ = std::thread([this] { Run(); });
}

unsigned char* WriteBehind::Next() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return handed_ - written_ < kPieces || !result_.ok(); });
  return result_.ok() ? pieces_[handed_ % kPieces].data() : nullptr;
}

void WriteBehind::Hand(size_t size) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sizes_[handed_ % kPieces] = size;
    ++handed_;
  }
  changed_.notify_all();
}

IoResult WriteBehind::Finish(uint32_t* crc) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (crc != nullptr) *crc = crc_;
  return result_;
}

void WriteBehind::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return written_ < handed_ || closed_; });
    if (written_ == handed_) return;
    const unsigned char* data = pieces_[written_ % kPieces].data();
    const size_t size = sizes_[written_ % kPieces];
    lock.unlock();
    if (checks_) crc_ = Crc32(crc_, data, size);
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

}  // namespace nocunzip::unzip32
