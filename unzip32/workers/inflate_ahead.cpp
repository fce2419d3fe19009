#include "workers/inflate_ahead.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "read/central_directory.h"
#include "methods/checksum.h"
#include "methods/decoder.h"
#include "read/local_header.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {

bool InflatesAhead(const Entry& entry) {
  return entry.method == zip::kMethodDeflate && entry.encryption == Encryption::kNone &&
         entry.crc_known && !entry.is_directory && entry.compressed_size <= kWholeBufferLimit &&
         entry.uncompressed_size <= kWholeBufferLimit;
}
static_assert(kWholeBufferLimit <= kInflateAheadBytes, "every entry taken must fit the ring");

std::unique_ptr<InflateAhead> InflateAhead::Start(const ArchiveEnd& end,
                                                  const std::vector<bool>& wanted, uint64_t largest,
                                                  std::unique_ptr<ArchiveFile> archive) {
  std::unique_ptr<InflateAhead> ahead(new InflateAhead(end, wanted, largest, std::move(archive)));
  try {
    ahead->worker_ = std::thread([raw = ahead.get()] { raw->Work(); });
  } catch (const std::system_error&) {
    return nullptr;
  }
  return ahead;
}

// The ring holds four times the largest entry taken, within the bounds of the header.
InflateAhead::InflateAhead(const ArchiveEnd& end, const std::vector<bool>& wanted, uint64_t largest,
                           std::unique_ptr<ArchiveFile> archive)
    : end_(end),
      wanted_(wanted),
      archive_(std::move(archive)),
      capacity_(static_cast<size_t>(
          std::clamp<uint64_t>(4 * largest, kInflateAheadLeastBytes, kInflateAheadBytes))),
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

bool InflateAhead::Inflate(const Entry& entry, const unsigned char* raw, unsigned char* out) {
  const DecoderParams params{entry.method, entry.flags, entry.compressed_size,
                             entry.uncompressed_size};
  if (inflater_ == nullptr || !inflater_->Reset(params)) inflater_ = MakeDecoder(params);
  if (inflater_ == nullptr) return false;
  const auto compressed = static_cast<size_t>(entry.compressed_size);
  const auto size = static_cast<size_t>(entry.uncompressed_size);
  const DecodeStep step = inflater_->Decode(std::span<const unsigned char>(raw, compressed),
                                            std::span<unsigned char>(out, size), true);
  return step.status == DecodeStatus::kEnd && step.produced == size;
}

bool InflateAhead::InflateOne(const Entry& entry, uint64_t data_offset, Inflated* inflated) {
  const auto compressed = static_cast<size_t>(entry.compressed_size);
  const auto size = static_cast<size_t>(entry.uncompressed_size);
  const unsigned char* raw = ReadRaw(data_offset, compressed);
  {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!FindSpace(size, &inflated->start)) {
      worker_waiting_ = true;
      changed_.wait(
          lock, [&] { return stop_ || (WorkerMayResume() && FindSpace(size, &inflated->start)); });
      worker_waiting_ = false;
    }
    if (stop_) return false;
  }
  // Only this thread places bytes in the ring, so the space found stays free.
  unsigned char* out = ring_.get() + inflated->start % capacity_;
  inflated->ok = raw != nullptr && Inflate(entry, raw, out) && Crc32(0, out, size) == entry.crc;
  inflated->size = inflated->ok ? size : 0;
  return true;
}

void InflateAhead::Work() {
  CentralDirectory directory(*archive_, end_);
  WindowedReader headers(*archive_);
  Entry entry;
  std::string problem;
  while (directory.Next(&entry, &problem) == CentralDirectory::Step::kEntry) {
    const uint64_t i = entry.index;
    EntryData data;
    const bool take = i < wanted_.size() && wanted_[i] && InflatesAhead(entry) &&
                      FindEntryData(headers, entry, end_.directory_offset, &data, &problem);
    Inflated inflated;
    inflated.index = i;
    if (take && !InflateOne(entry, data.offset, &inflated)) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_) return;
    if (take) {
      ready_.push_back(inflated);
      write_position_ = inflated.start + inflated.size;
    }
    next_ = i + 1;
    if (caller_waiting_) changed_.notify_all();
  }
  std::lock_guard<std::mutex> lock(mutex_);
  next_ = UINT64_MAX;
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
