#include "inflate_ahead.h"

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <cstring>
#include <system_error>

namespace nocunzip::unzip32 {

namespace {
constexpr uint16_t kFlagEncrypted = 1u << 0;
}  // namespace

bool InflatesAhead(const CentralEntry& entry) {
  return entry.method == ZIP_CM_DEFLATE && (entry.flags & kFlagEncrypted) == 0 &&
         entry.compressed_size <= kWholeBufferLimit && entry.uncompressed_size <= kWholeBufferLimit;
}
static_assert(kWholeBufferLimit <= kInflateAheadBytes, "every entry taken must fit the ring");

namespace {

size_t RingBytesFor(const ArchiveLayout& layout, const std::vector<bool>& wanted) {
  uint64_t largest = 0;
  for (size_t i = 0; i < layout.entries.size() && i < wanted.size(); ++i) {
    if (wanted[i] && InflatesAhead(layout.entries[i])) {
      largest = std::max(largest, layout.entries[i].uncompressed_size);
    }
  }
  return static_cast<size_t>(
      std::clamp<uint64_t>(4 * largest, kInflateAheadLeastBytes, kInflateAheadBytes));
}

}  // namespace

std::unique_ptr<InflateAhead> InflateAhead::Start(const ArchiveLayout& layout,
                                                  const std::vector<bool>& wanted,
                                                  std::unique_ptr<ArchiveSource> archive) {
  std::unique_ptr<InflateAhead> ahead(new InflateAhead(layout, wanted, std::move(archive)));
  try {
    ahead->worker_ = std::thread([raw = ahead.get()] { raw->Work(); });
  } catch (const std::system_error&) {
    return nullptr;
  }
  return ahead;
}

InflateAhead::InflateAhead(const ArchiveLayout& layout, const std::vector<bool>& wanted,
                           std::unique_ptr<ArchiveSource> archive)
    : layout_(layout),
      wanted_(wanted),
      archive_(std::move(archive)),
      capacity_(RingBytesFor(layout, wanted)),
      ring_(new unsigned char[capacity_]),
      window_(new unsigned char[kWholeBufferLimit]) {}

InflateAhead::~InflateAhead() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (worker_.joinable()) worker_.join();
}

bool InflateAhead::FindSpace(size_t size, uint64_t* start) const {
  const uint64_t capacity = capacity_;
  uint64_t at = write_position_;
  if (at % capacity + size > capacity) at += capacity - at % capacity;  // wrap: stay contiguous
  const uint64_t oldest = ready_.empty() ? at : ready_.front().start;
  if (at + size - oldest > capacity || ready_.size() >= kInflateAheadEntries) return false;
  *start = at;
  return true;
}

bool InflateAhead::WorkerMayResume() const {
  if (ready_.empty()) return true;
  return ready_.size() <= kInflateAheadEntries / 2 &&
         write_position_ - ready_.front().start <= capacity_ / 2;
}

void InflateAhead::DropFront() {
  ready_.pop_front();
  if (worker_waiting_ && WorkerMayResume()) changed_.notify_all();
}

const unsigned char* InflateAhead::ReadRaw(uint64_t offset, size_t length) {
  if (offset < window_start_ || offset - window_start_ > window_filled_ ||
      window_filled_ - (offset - window_start_) < length) {
    const uint64_t size = archive_->size();
    if (length > kWholeBufferLimit || offset > size || size - offset < length) return nullptr;
    const auto want = static_cast<size_t>(
        std::min<uint64_t>(std::max<uint64_t>(length, kInflateAheadRead), size - offset));
    window_filled_ = 0;
    if (!archive_->ReadAt(offset, window_.get(), want)) return nullptr;
    window_start_ = offset;
    window_filled_ = want;
  }
  return window_.get() + (offset - window_start_);
}

void InflateAhead::Work() {
  const std::vector<CentralEntry>& entries = layout_.entries;
  for (uint64_t i = 0; i < entries.size(); ++i) {
    const CentralEntry& entry = entries[i];
    const bool take = i < wanted_.size() && wanted_[i] && InflatesAhead(entry);
    Inflated inflated;
    inflated.index = i;
    if (take) {
      const auto compressed = static_cast<size_t>(entry.compressed_size);
      const auto size = static_cast<size_t>(entry.uncompressed_size);
      const unsigned char* raw = ReadRaw(entry.data_offset, compressed);
      {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!FindSpace(size, &inflated.start)) {
          worker_waiting_ = true;
          changed_.wait(lock, [&] {
            return stop_ || (WorkerMayResume() && FindSpace(size, &inflated.start));
          });
          worker_waiting_ = false;
        }
        if (stop_) return;
      }
      // Only this thread places bytes in the ring, so the space found stays free.
      unsigned char* out = ring_.get() + inflated.start % capacity_;
      size_t produced = 0;
      inflated.ok = raw != nullptr &&
                    libdeflate_deflate_decompress(buffers_.decompressor, raw, compressed, out, size,
                                                  &produced) == LIBDEFLATE_SUCCESS &&
                    produced == size && libdeflate_crc32(0, out, size) == entry.crc;
      inflated.size = inflated.ok ? size : 0;
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_) return;
      if (take) {
        ready_.push_back(inflated);
        write_position_ = inflated.start + inflated.size;
      }
      next_ = i + 1;
      if (caller_waiting_) changed_.notify_all();
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  next_ = entries.size();
  changed_.notify_all();
}

bool InflateAhead::Take(uint64_t index, const unsigned char** data, size_t* size) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    while (!ready_.empty() && ready_.front().index < index) DropFront();
    if (!ready_.empty()) {
      const Inflated& front = ready_.front();
      if (front.index != index) return false;
      if (!front.ok) {
        DropFront();
        return false;
      }
      *data = ring_.get() + front.start % capacity_;
      *size = front.size;
      return true;
    }
    if (next_ > index) return false;  // looked at and passed by
    caller_waiting_ = true;
    changed_.wait(lock);
    caller_waiting_ = false;
  }
}

void InflateAhead::Release() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!ready_.empty()) DropFront();
}

}  // namespace nocunzip::unzip32
