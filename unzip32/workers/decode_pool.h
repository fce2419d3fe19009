// The workers that decode entries ahead of their commit, and the bounded queue between them
// and the calling thread.
//
// The calling thread submits jobs in entry order and waits for their results in the same
// order; workers take the jobs in that order, each as soon as it is free, and keep every
// result until it is fetched. What is submitted and not yet fetched is bounded by a count of
// jobs (each result may hold an open file) and by the bytes that the jobs after the oldest
// decode (the unnamed files on disk ahead of the commit): Admits says whether one more
// fits, and a job fits whatever its size when nothing is pending, so that no wait depends on
// what the archive holds. With one worker no thread
// is started: Wait runs each job on the calling thread, as a single-threaded run does.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "workers/entry_decoder.h"
#include "workers/entry_job.h"

namespace nocunzip::unzip32 {

// The bounds of what is decoded and not yet committed.
inline constexpr size_t kPendingJobs = 64;
inline constexpr uint64_t kPendingBytes = uint64_t{256} << 20;

// The most workers that a run starts, whatever the machine.
inline constexpr unsigned kMostWorkers = 8;

// The workers for one run: `requested` when it is 1 to kMostWorkers (more count as that
// many), otherwise (0) as many as `cores`, at most kMostWorkers.
unsigned ChooseWorkerCount(unsigned requested, unsigned cores);

// The workers for this run: the environment variable UNZIP32_WORKERS when it holds a
// number, read now, else the cores that the process may use (see ChooseWorkerCount).
unsigned WorkerCountForRun();

class DecodePool {
 public:
  using Job = std::function<DecodedEntry(DecodeBuffers&)>;

  // Starts `workers` threads (none for 1). Where a thread cannot be started the pool works
  // with those it has, down to none.
  explicit DecodePool(unsigned workers);
  // Drops the jobs not started, waits for the running ones and drops every result.
  ~DecodePool();
  DecodePool(const DecodePool&) = delete;
  DecodePool& operator=(const DecodePool&) = delete;

  // Whether a job that decodes `bytes` may be submitted now.
  bool Admits(uint64_t bytes) const;
  void Submit(Job job, uint64_t bytes);
  // The result of the oldest job not fetched yet; waits for it (or runs it, without
  // threads). There must be one.
  DecodedEntry WaitOldest();
  bool empty() const { return slots_.empty(); }
  // The buffers of the calling thread, for what it decodes itself.
  DecodeBuffers& own_buffers() { return own_buffers_; }

 private:
  struct Slot {
    Job job;
    uint64_t bytes = 0;
    bool started = false;
    bool done = false;
    DecodedEntry result;
  };
  void Work();
  void Stop();

  unsigned buffer_sets_;
  DecodeBuffers own_buffers_;
  mutable std::mutex mutex_;
  std::condition_variable job_ready_;
  std::condition_variable result_ready_;
  std::deque<std::unique_ptr<Slot>> slots_;  // in submission order; guarded by mutex_
  size_t next_to_start_ = 0;                 // index into slots_
  uint64_t pending_bytes_ = 0;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace nocunzip::unzip32
