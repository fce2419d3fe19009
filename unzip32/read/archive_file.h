// The archive file, opened once for the whole run and read at given offsets with the
// platform's own calls (pread, ReadFile at an offset), which move no shared position: any
// number of threads read through the one handle at once. Every read of a run goes through
// it, so a file put in the archive's place during the run is never read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "read/byte_reader.h"

namespace nocunzip::unzip32 {

class ArchiveFile : public ByteReader {
 public:
  // Opens `path` (UTF-8); on failure returns null and says why in `error`.
  static std::unique_ptr<ArchiveFile> Open(const std::string& path, std::string* error);
  ~ArchiveFile() override;
  ArchiveFile(const ArchiveFile&) = delete;
  ArchiveFile& operator=(const ArchiveFile&) = delete;

  uint64_t size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t length) override;

  // Whether the open file still has the size it had when opened; `now` receives the size
  // it has (or the old one when it cannot be read).
  bool SizeUnchanged(uint64_t* now) const;

 private:
  struct Handle;
  ArchiveFile(std::unique_ptr<Handle> handle, uint64_t size);
  std::unique_ptr<Handle> handle_;
  uint64_t size_;
};

// Reads through a window over a ByteReader, so that the many small records of a large
// archive cost few reads of the file.
class WindowedReader {
 public:
  // 64 KiB: over a thousand central records of short names a read, while only a few readers
  // are open at once (one for each walk of the directory), so their windows cost little.
  static constexpr size_t kDefaultWindow = 64 * 1024;
  explicit WindowedReader(ByteReader& reader, size_t window = kDefaultWindow)
      : reader_(reader), window_(window) {}

  ByteReader& file() const { return reader_; }
  // Reads exactly `length` bytes at `offset`; false when they are not all in the file.
  bool Read(uint64_t offset, void* out, size_t length);

 private:
  ByteReader& reader_;
  std::vector<unsigned char> window_;
  uint64_t base_ = 0;
  size_t filled_ = 0;
};

}  // namespace nocunzip::unzip32
