// Inflates small deflated entries ahead of the extraction, on a second thread.
//
// The calling thread decides, writes and reports one entry after the other, with every
// callback in entry order. Meanwhile this worker reads the next unencrypted, deflated entries
// that fit one buffer straight from the archive file (a handle and a directory reader of
// its own),
// inflates them and checks their size and CRC against the central directory,
// so that when the calling thread reaches such an entry its contents are ready to write.
// The inflated bytes wait in one fixed ring buffer, so memory stays bounded however far
// ahead the worker could go: it waits whenever the ring is full.
//
// Inflating ahead has no effect of its own: an entry that is skipped is dropped unseen, and
// one that failed here is decoded again by the calling thread, which then says why.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "read/archive_file.h"
#include "methods/decoder.h"
#include "read/end_records.h"
#include "read/entry.h"
#include "workers/entry_decoder.h"

namespace nocunzip::unzip32 {

// The bytes the ring buffer holds at most: the inflated entries waiting to be written. The
// ring is smaller where the entries are: four times the largest one taken, or the least
// size below, so that an archive of small files does not cost megabytes of ring.
inline constexpr size_t kInflateAheadBytes = 5u << 20;
inline constexpr size_t kInflateAheadLeastBytes = 1u << 20;
// The inflated entries waiting at most, whatever their size.
inline constexpr size_t kInflateAheadEntries = 4096;
// The worker reads the archive in pieces of this size at least.
inline constexpr size_t kInflateAheadRead = 1u << 20;

// Whether the worker inflates `entry` ahead.
bool InflatesAhead(const Entry& entry);

class InflateAhead {
 public:
  // Starts inflating the entries of the archive that `end` describes that InflatesAhead and
  // that `wanted` marks, reading the directory and the data through `archive`, a handle of
  // its own. `largest` is the largest uncompressed size among them. Returns null when no
  // thread can be started; the extraction then decodes everything itself. `end` and
  // `wanted` must stay unchanged while this object lives.
  static std::unique_ptr<InflateAhead> Start(const ArchiveEnd& end, const std::vector<bool>& wanted,
                                             uint64_t largest,
                                             std::unique_ptr<ArchiveFile> archive);
  ~InflateAhead();  // stops the worker and waits for it
  InflateAhead(const InflateAhead&) = delete;
  InflateAhead& operator=(const InflateAhead&) = delete;

  // The inflated contents of entry `index`, waiting for them when they are still being
  // made. False when the worker did not take that entry or could not inflate it soundly.
  // Entries before `index` that were never asked for are dropped. The bytes stay valid
  // until Release.
  bool Take(uint64_t index, const unsigned char** data, size_t* size);
  // Hands the space of the entry last taken back to the worker.
  void Release();

 private:
  struct Inflated {
    uint64_t index = 0;
    uint64_t start = 0;  // position in the ring's endless sequence of bytes; modulo its size
    size_t size = 0;
    bool ok = false;
  };

  InflateAhead(const ArchiveEnd& end, const std::vector<bool>& wanted, uint64_t largest,
               std::unique_ptr<ArchiveFile> archive);
  void Work();
  // Inflates `entry`, whose data begin at `data_offset`, into the ring; false when the worker
  // must stop.
  bool InflateOne(const Entry& entry, uint64_t data_offset, Inflated* inflated);
  // Inflates the `entry.compressed_size` bytes at `raw` into exactly `entry.uncompressed_size`
  // bytes at `out`; false when they are damaged or of another size.
  bool Inflate(const Entry& entry, const unsigned char* raw, unsigned char* out);
  // Where `size` contiguous bytes fit in the ring now, if they do. With the lock held.
  bool FindSpace(size_t size, uint64_t* start) const;
  // Whether the worker, once it had to wait, may go on: the ring is at most half full, so
  // that the two threads do not wake each other for every entry. With the lock held.
  bool WorkerMayResume() const;
  void DropFront();  // with the lock held
  // The `length` bytes at `offset`, in a window over the archive that holds the largest
  // compressed entry taken, or null when they cannot be read. Since the entries mostly come
  // one after the other, many small entries cost one read of the file. Valid until the next
  // call.
  const unsigned char* ReadRaw(uint64_t offset, size_t length);

  const ArchiveEnd& end_;
  const std::vector<bool>& wanted_;
  std::unique_ptr<ArchiveFile> archive_;
  size_t capacity_;                          // of the ring
  std::unique_ptr<unsigned char[]> ring_;    // untouched until used
  std::unique_ptr<Decoder> inflater_;        // the worker's own, reset for each entry
  std::unique_ptr<unsigned char[]> window_;  // kWholeBufferLimit bytes
  uint64_t window_start_ = 0;
  size_t window_filled_ = 0;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Inflated> ready_;   // in entry order
  uint64_t next_ = 0;            // the first entry the worker has not looked at yet
  uint64_t write_position_ = 0;  // where the next inflated entry may start
  bool stop_ = false;
  bool worker_waiting_ = false;
  bool caller_waiting_ = false;
  std::thread worker_;
};

}  // namespace nocunzip::unzip32
