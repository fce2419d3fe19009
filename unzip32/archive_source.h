// The archive file, opened through libzip's file source and read at given offsets.
#pragma once

#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "byte_reader.h"

namespace nocunzip::unzip32 {

struct ZipArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipArchive = std::unique_ptr<zip_t, ZipArchiveCloser>;

struct ZipFileCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
using ZipFile = std::unique_ptr<zip_file_t, ZipFileCloser>;

class ArchiveSource : public ByteReader {
 public:
  // Opens `path`; on failure returns null and says why in `error`.
  static std::unique_ptr<ArchiveSource> Open(const std::string& path, std::string* error);
  ~ArchiveSource() override;

  uint64_t size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t length) override;

 private:
  ArchiveSource(zip_source_t* source, uint64_t size) : source_(source), size_(size) {}
  zip_source_t* source_;
  uint64_t size_;
};

// libzip's text for an error.
std::string ZipErrorText(zip_error_t* error);

}  // namespace nocunzip::unzip32
