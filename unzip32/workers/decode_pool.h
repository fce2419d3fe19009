// The workers that decode entries ahead of their commit, and the bounded queue between them
// and the calling thread.
//
// The calling thread submits jobs in entry order and waits for their results in the same
// order; workers take the jobs in that order, each as soon as it is free, and keep every
// result until it is fetched. What is submitted and not yet fetched is bounded by a count of
// jobs, by the bytes that the jobs after the oldest decode (the unnamed files on disk ahead
// of the commit) and by the descriptors that their results hold (open files), of which the
// pool leaves the caller's share of the process's limit alone: Admits says whether one more
// fits, and a job fits whatever its cost when nothing is pending, so that no wait depends on
// what the archive holds. A job that finds no descriptor free is started again when the
// calling thread comes for its next result (the one before is committed and closed by
// then); when it is the oldest, the results after it are dropped, to be made again, and it
// runs once more on the calling thread with nothing else of the pool open. With
// one worker no thread is started: Wait runs each job on the calling thread, as a
// single-threaded run does.
//
// Wake-ups are few: a worker is woken only when it waits for a job, and the calling thread,
// when it has to wait while many jobs are pending, only once a batch of results is ready
// (kResultBatch), which it then takes without waiting.
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
inline constexpr uint64_t kNoFileLimit = UINT64_MAX;

// The results that the calling thread waits for at once while twice as many jobs are
// pending: one wake-up per 16 files instead of one per file, while the jobs pending keep
// the workers busy meanwhile.
inline constexpr size_t kResultBatch = 16;

// The most workers that a run starts, whatever the machine. Each holds buffers of its own
// (about 1.25 MiB) beside the 4 MiB that all share for entries inflated in one buffer:
// eight stay within the library's 16 MiB, and past them the calling thread, which commits
// every entry, and the disk limit a run rather than decoding.
inline constexpr unsigned kMostWorkers = 8;

// The workers for one run: `requested` when it is 1 to kMostWorkers (more count as that
// many), otherwise (0) as many as `cores`, at most kMostWorkers.
unsigned ChooseWorkerCount(unsigned requested, unsigned cores);

// The workers for this run: the environment variable UNZIP32_WORKERS when it holds a
// number, read now, else the cores that the process may use (see ChooseWorkerCount).
unsigned WorkerCountForRun();

// The descriptors that the results pending may hold: half of `open_file_limit` is left to
// the caller (who may hold many files, now or later), and of the other half what the run
// holds besides the results: the archive, the target and the directories kept open, and
// what each of `workers` opens while it works.
uint64_t PendingDescriptorBudget(uint64_t open_file_limit, unsigned workers);

class DecodePool {
 public:
  using Job = std::function<DecodedEntry(DecodeBuffers&)>;

  // Starts `workers` threads (none for 1). Where a thread cannot be started the pool works
  // with those it has, down to none. `open_file_limit`: how many files the process may have
  // open at once (see OpenFileLimit).
  explicit DecodePool(unsigned workers, uint64_t open_file_limit = kNoFileLimit);
  // Drops the jobs not started, waits for the running ones and drops every result.
  ~DecodePool();
  DecodePool(const DecodePool&) = delete;
  DecodePool& operator=(const DecodePool&) = delete;

  // Whether a job that decodes `bytes` into a result that holds `descriptors` may be
  // submitted now.
  bool Admits(uint64_t bytes, uint64_t descriptors = 0) const;
  void Submit(Job job, uint64_t bytes, uint64_t descriptors = 0);
  // The result of the oldest job not fetched yet; waits for it (or runs it, without
  // threads). There must be one. A result that still lacks a descriptor when nothing else
  // of the pool is open says so, naming the limit.
  DecodedEntry WaitOldest();
  bool empty() const { return slots_.empty(); }
  // Waits for the running jobs, then drops every result made, to be made again, and starts
  // no job until the next fetch: the pool holds no descriptor.
  void ReleaseDescriptors();
  // Runs `job` on the calling thread; when it finds no descriptor free, once more after
  // ReleaseDescriptors, and then says so naming the limit.
  DecodedEntry RunHere(const Job& job);
  // Waits for the running jobs and drops every job and result: the pool is empty.
  void DropAll();
  // The buffers of the calling thread, for what it decodes itself.
  DecodeBuffers& own_buffers() { return own_buffers_; }
  // Whether a job given `buffers` runs on a worker thread, not on the calling thread.
  bool IsWorkers(const DecodeBuffers& buffers) const { return &buffers != &own_buffers_; }

 private:
  struct Slot {
    Job job;
    uint64_t bytes = 0;
    uint64_t descriptors = 0;
    bool started = false;
    bool done = false;
    DecodedEntry result;
  };
  void Work();
  void Stop();
  // The first job that no worker has, while starts are not held back; null when none.
  // Called with mutex_ held.
  Slot* NextToStart();
  // Pops the oldest slot, once it is done; its job in `job`.
  DecodedEntry TakeOldest(Job* job);
  // What the calling thread waits for, if anything.
  enum class Awaiting { kNothing, kResults, kIdle };
  // Whether the calling thread may go on from the wait of `awaiting_`. Called with mutex_
  // held.
  bool CallerMayGo() const;
  // Waits until CallerMayGo for `what`.
  void AwaitCaller(std::unique_lock<std::mutex>& lock, Awaiting what);

  unsigned buffer_sets_;
  uint64_t open_file_limit_;
  uint64_t descriptor_budget_ = 0;  // for the results pending
  DecodeBuffers own_buffers_;
  mutable std::mutex mutex_;
  std::condition_variable job_ready_;
  std::condition_variable result_ready_;
  std::deque<std::unique_ptr<Slot>> slots_;  // in submission order; guarded by mutex_
  size_t next_to_start_ = 0;                 // index into slots_; none before it waits
  uint64_t pending_bytes_ = 0;
  uint64_t pending_descriptors_ = 0;
  unsigned running_ = 0;
  unsigned idle_ = 0;  // workers waiting for a job
  Awaiting awaiting_ = Awaiting::kNothing;
  bool held_back_ = false;  // only the oldest job starts until the next fetch
  bool paused_ = false;     // no job starts until the next fetch
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace nocunzip::unzip32
