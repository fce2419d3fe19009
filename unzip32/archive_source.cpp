#include "archive_source.h"

#include <cstdio>

namespace nocunzip::unzip32 {

std::string ZipErrorText(zip_error_t* error) {
  // zip_error_strerror keeps its text in the error until that is finished; a copy of the
  // codes keeps the original error untouched.
  zip_error_t copy;
  zip_error_init(&copy);
  zip_error_set(&copy, zip_error_code_zip(error), zip_error_code_system(error));
  std::string text = zip_error_strerror(&copy);
  zip_error_fini(&copy);
  return text;
}

std::unique_ptr<ArchiveSource> ArchiveSource::Open(const std::string& path, std::string* error) {
  zip_error_t zip_error;
  zip_error_init(&zip_error);
  // UTF-8 also on Windows, where libzip opens the file under its wide name.
  zip_source_t* source = zip_source_file_create(path.c_str(), 0, -1, &zip_error);
  if (source == nullptr) {
    *error = ZipErrorText(&zip_error);
    zip_error_fini(&zip_error);
    return nullptr;
  }
  zip_error_fini(&zip_error);
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_source_open(source) < 0) {
    *error = ZipErrorText(zip_source_error(source));
    zip_source_free(source);
    return nullptr;
  }
  if (zip_source_stat(source, &stat) < 0 || (stat.valid & ZIP_STAT_SIZE) == 0) {
    *error = "cannot read the size of the file";
    zip_source_close(source);
    zip_source_free(source);
    return nullptr;
  }
  return std::unique_ptr<ArchiveSource>(new ArchiveSource(source, stat.size));
}

ArchiveSource::~ArchiveSource() {
  zip_source_close(source_);
  zip_source_free(source_);
}

bool ArchiveSource::ReadAt(uint64_t offset, void* buffer, size_t length) {
  if (offset > size_ || length > size_ - offset) return false;
  if (zip_source_seek(source_, static_cast<zip_int64_t>(offset), SEEK_SET) < 0) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  size_t done = 0;
  while (done < length) {
    const zip_int64_t got = zip_source_read(source_, out + done, length - done);
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

}  // namespace nocunzip::unzip32
