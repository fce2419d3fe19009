#include "workers/decode_pool.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "workers/worker_settings.h"

namespace nocunzip::unzip32 {

unsigned ChooseWorkerCount(unsigned requested, unsigned cores) {
  const unsigned count = requested != 0 ? requested : cores;
  return std::clamp(count, 1u, kMostWorkers);
}

unsigned WorkerCountForRun() {
  unsigned requested = 0;
  const std::string text = WorkersVariable();
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 10);
  if (!text.empty() && *end == '\0') {
    requested = static_cast<unsigned>(std::min<unsigned long>(value, kMostWorkers));
  }
  return ChooseWorkerCount(requested, UsableCores());
}

DecodePool::DecodePool(unsigned workers)
    : buffer_sets_(std::max(1u, workers)), own_buffers_(buffer_sets_) {
  if (workers <= 1) return;
  for (unsigned i = 0; i < workers; ++i) {
    try {
      threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      break;  // the threads started so far do the work
    }
  }
}

DecodePool::~DecodePool() { Stop(); }

void DecodePool::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  job_ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
  threads_.clear();
}

bool DecodePool::Admits(uint64_t bytes) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (slots_.empty()) return true;
  const uint64_t ahead = pending_bytes_ - slots_.front()->bytes;
  return slots_.size() < kPendingJobs && ahead + bytes <= kPendingBytes;
}

void DecodePool::Submit(Job job, uint64_t bytes) {
  auto slot = std::make_unique<Slot>();
  slot->job = std::move(job);
  slot->bytes = bytes;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_.push_back(std::move(slot));
    pending_bytes_ += bytes;
  }
  job_ready_.notify_one();
}

DecodedEntry DecodePool::WaitOldest() {
  std::unique_lock<std::mutex> lock(mutex_);
  Slot& oldest = *slots_.front();
  if (!oldest.started && threads_.empty()) {
    oldest.started = true;
    ++next_to_start_;
    lock.unlock();
    oldest.result = oldest.job(own_buffers_);
    lock.lock();
    oldest.done = true;
  }
  result_ready_.wait(lock, [&] { return oldest.done; });
  DecodedEntry result = std::move(oldest.result);
  pending_bytes_ -= oldest.bytes;
  slots_.pop_front();
  --next_to_start_;
  return result;
}

void DecodePool::Work() {
  DecodeBuffers buffers(buffer_sets_);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    job_ready_.wait(lock, [&] { return stopping_ || next_to_start_ < slots_.size(); });
    if (stopping_) return;
    Slot& slot = *slots_[next_to_start_++];
    slot.started = true;
    lock.unlock();
    DecodedEntry result = slot.job(buffers);
    lock.lock();
    slot.result = std::move(result);
    slot.done = true;
    result_ready_.notify_all();
  }
}

}  // namespace nocunzip::unzip32
