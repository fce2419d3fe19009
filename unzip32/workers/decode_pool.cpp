#include "workers/decode_pool.h"

#include <algorithm>
#include <cstdlib>
#include <string>
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

uint64_t PendingDescriptorBudget(uint64_t open_file_limit, unsigned workers) {
  // The archive, the target, the directories that the output holds open (16), and spare.
  constexpr uint64_t kRunDescriptors = 20;
  // The file a worker writes and the two of a walk to its directory.
  constexpr uint64_t kWorkerDescriptors = 3;
  const uint64_t ours = open_file_limit / 2;
  const uint64_t run = kRunDescriptors + kWorkerDescriptors * workers;
  return ours > run ? ours - run : 0;
}

DecodePool::DecodePool(unsigned workers, uint64_t open_file_limit)
    : buffer_sets_(std::max(1u, workers)),
      open_file_limit_(open_file_limit),
      own_buffers_(buffer_sets_) {
  if (workers > 1) {
    for (unsigned i = 0; i < workers; ++i) {
      try {
        threads_.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        break;  // the threads started so far do the work
      }
    }
  }
  const unsigned threads = static_cast<unsigned>(std::max<size_t>(1, threads_.size()));
  descriptor_budget_ = PendingDescriptorBudget(open_file_limit, threads);
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

bool DecodePool::Admits(uint64_t bytes, uint64_t descriptors) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (slots_.empty()) return true;
  const uint64_t ahead = pending_bytes_ - slots_.front()->bytes;
  return slots_.size() < kPendingJobs && ahead + bytes <= kPendingBytes &&
         pending_descriptors_ + descriptors <= descriptor_budget_;
}

void DecodePool::Submit(Job job, uint64_t bytes, uint64_t descriptors) {
  auto slot = std::make_unique<Slot>();
  slot->job = std::move(job);
  slot->bytes = bytes;
  slot->descriptors = descriptors;
  bool wake = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slots_.push_back(std::move(slot));
    pending_bytes_ += bytes;
    pending_descriptors_ += descriptors;
    wake = idle_ > 0;
  }
  if (wake) job_ready_.notify_one();
}

bool DecodePool::CallerMayGo() const {
  switch (awaiting_) {
    case Awaiting::kNothing:
      return false;
    case Awaiting::kIdle:
      return running_ == 0;
    case Awaiting::kResults:
      break;
  }
  if (slots_.empty() || !slots_.front()->done) return false;
  if (running_ == 0) return true;  // nothing more comes without the calling thread
  const size_t batch = slots_.size() >= 2 * kResultBatch ? kResultBatch : 1;
  for (size_t i = 1; i < batch; ++i) {
    if (!slots_[i]->done) return false;
  }
  return true;
}

void DecodePool::AwaitCaller(std::unique_lock<std::mutex>& lock, Awaiting what) {
  awaiting_ = what;
  result_ready_.wait(lock, [&] { return CallerMayGo(); });
  awaiting_ = Awaiting::kNothing;
}

DecodePool::Slot* DecodePool::NextToStart() {
  if (paused_) return nullptr;
  while (next_to_start_ < slots_.size() && slots_[next_to_start_]->started) ++next_to_start_;
  if (next_to_start_ == slots_.size()) return nullptr;
  // Held back, the oldest still starts: it waits for no commit.
  if (held_back_ && next_to_start_ != 0) return nullptr;
  return slots_[next_to_start_].get();
}

DecodedEntry DecodePool::TakeOldest(Job* job) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (held_back_ || paused_) {
    held_back_ = paused_ = false;  // the result before is committed: its files are closed
    job_ready_.notify_all();
  }
  Slot& oldest = *slots_.front();
  if (!oldest.started && threads_.empty()) {
    oldest.started = true;
    lock.unlock();
    oldest.result = oldest.job(own_buffers_);
    lock.lock();
    oldest.done = true;
  }
  if (!oldest.done) AwaitCaller(lock, Awaiting::kResults);
  DecodedEntry result = std::move(oldest.result);
  *job = std::move(oldest.job);
  pending_bytes_ -= oldest.bytes;
  pending_descriptors_ -= oldest.descriptors;
  slots_.pop_front();
  if (next_to_start_ > 0) --next_to_start_;
  if (held_back_ && !slots_.empty() && !slots_.front()->started) job_ready_.notify_one();
  return result;
}

void DecodePool::ReleaseDescriptors() {
  std::vector<DecodedEntry> dropped;  // closed once the lock is released
  std::unique_lock<std::mutex> lock(mutex_);
  paused_ = true;
  AwaitCaller(lock, Awaiting::kIdle);
  for (const std::unique_ptr<Slot>& slot : slots_) {
    if (!slot->done) continue;
    dropped.push_back(std::move(slot->result));
    slot->done = false;
    slot->started = false;
  }
  next_to_start_ = 0;
}

void DecodePool::DropAll() {
  std::deque<std::unique_ptr<Slot>> dropped;  // dropped once the lock is released
  std::unique_lock<std::mutex> lock(mutex_);
  paused_ = true;
  AwaitCaller(lock, Awaiting::kIdle);
  dropped.swap(slots_);
  next_to_start_ = 0;
  pending_bytes_ = pending_descriptors_ = 0;
  held_back_ = paused_ = false;
}

DecodedEntry DecodePool::RunHere(const Job& job) {
  DecodedEntry result = job(own_buffers_);
  if (!result.out_of_descriptors) return result;
  ReleaseDescriptors();
  result = job(own_buffers_);
  if (result.out_of_descriptors) {
    result.message += " (no other file of the extraction was open; the process may have " +
                      std::to_string(open_file_limit_) + " files open at once)";
  }
  return result;
}

DecodedEntry DecodePool::WaitOldest() {
  Job job;
  DecodedEntry result = TakeOldest(&job);
  return result.out_of_descriptors ? RunHere(job) : std::move(result);
}

void DecodePool::Work() {
  DecodeBuffers buffers(buffer_sets_);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ++idle_;
    job_ready_.wait(lock, [&] { return stopping_ || NextToStart() != nullptr; });
    --idle_;
    if (stopping_) return;
    Slot& slot = *NextToStart();
    slot.started = true;
    ++running_;
    lock.unlock();
    DecodedEntry result = slot.job(buffers);
    lock.lock();
    --running_;
    if (result.out_of_descriptors && &slot != slots_.front().get()) {
      // The results before it hold the descriptors: once one is committed, try again.
      slot.started = false;
      held_back_ = true;
      next_to_start_ = 0;
    } else {
      slot.result = std::move(result);
      slot.done = true;
    }
    if (CallerMayGo()) result_ready_.notify_one();
  }
}

}  // namespace nocunzip::unzip32
