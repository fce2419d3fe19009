#include "directory_slices.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "little_endian.h"

namespace nocunzip::unzip32 {
namespace {

constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint64_t kZip64EndRecordRest = 44;  // the zip64 end record after its size field
constexpr uint16_t kVersionZip64 = 45;
constexpr size_t kReadWindow = 64 * 1024;

// The end records of a directory of `count` entries at `offset`, `size` bytes long, that
// ends where these records begin: a zip64 end record and its locator, which hold the full
// values, then the classic end record with the values that fit it and the comment.
std::vector<unsigned char> EndRecords(uint64_t count, uint64_t offset, uint64_t size,
                                      const std::string& comment) {
  std::vector<unsigned char> out;
  const uint64_t zip64_end = offset + size;
  Put32(out, kZip64EndSignature);
  Put64(out, kZip64EndRecordRest);
  Put16(out, kVersionZip64);  // made by
  Put16(out, kVersionZip64);  // needed
  Put32(out, 0);              // this disk
  Put32(out, 0);              // the disk where the directory starts
  Put64(out, count);          // entries on this disk
  Put64(out, count);          // entries in all
  Put64(out, size);
  Put64(out, offset);
  Put32(out, kZip64LocatorSignature);
  Put32(out, 0);  // the disk of the zip64 end record
  Put64(out, zip64_end);
  Put32(out, 1);  // disks in all
  Put32(out, kEndSignature);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, std::min<uint64_t>(count, 0xFFFF));
  Put16(out, std::min<uint64_t>(count, 0xFFFF));
  Put32(out, std::min<uint64_t>(size, 0xFFFFFFFF));
  Put32(out, std::min<uint64_t>(offset, 0xFFFFFFFF));
  const size_t comment_size = std::min<size_t>(comment.size(), 0xFFFF);
  Put16(out, comment_size);
  out.insert(out.end(), comment.begin(), comment.begin() + static_cast<ptrdiff_t>(comment_size));
  return out;
}

// The view libzip reads: the archive file up to `file_end`, then `tail`. Reads of the file
// go through a window, since libzip reads the directory one small record at a time.
class SliceView {
 public:
  SliceView(ByteReader& file, uint64_t file_end, std::vector<unsigned char> tail)
      : file_(file), file_end_(file_end), tail_(std::move(tail)) {
    zip_error_init(&error_);
  }
  ~SliceView() { zip_error_fini(&error_); }

  static zip_int64_t Callback(void* user, void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
    return static_cast<SliceView*>(user)->Handle(data, length, cmd);
  }

 private:
  uint64_t size() const { return file_end_ + tail_.size(); }

  zip_int64_t Handle(void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
    switch (cmd) {
      case ZIP_SOURCE_OPEN:
        position_ = 0;
        return 0;
      case ZIP_SOURCE_READ:
        return Read(static_cast<unsigned char*>(data), length);
      case ZIP_SOURCE_CLOSE:
        return 0;
      case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->size = size();
        st->valid |= ZIP_STAT_SIZE;
        return sizeof(zip_stat_t);
      }
      case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&error_, data, length);
      case ZIP_SOURCE_FREE:
        delete this;
        return 0;
      case ZIP_SOURCE_SEEK: {
        const zip_int64_t to =
            zip_source_seek_compute_offset(position_, size(), data, length, &error_);
        if (to < 0) return -1;
        position_ = static_cast<uint64_t>(to);
        return 0;
      }
      case ZIP_SOURCE_TELL:
        return static_cast<zip_int64_t>(position_);
      case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(
            ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR,
            ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, ZIP_SOURCE_SUPPORTS, -1);
      default:
        zip_error_set(&error_, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
  }

  zip_int64_t Read(unsigned char* out, zip_uint64_t length) {
    if (position_ >= size()) return 0;
    length = std::min<uint64_t>(length, size() - position_);
    length = std::min<uint64_t>(length, INT64_MAX);
    if (position_ >= file_end_) {
      std::memcpy(out, tail_.data() + (position_ - file_end_), static_cast<size_t>(length));
    } else {
      length = std::min<uint64_t>(length, file_end_ - position_);
      if (!ReadFile(position_, out, static_cast<size_t>(length))) {
        zip_error_set(&error_, ZIP_ER_READ, 0);
        return -1;
      }
    }
    position_ += length;
    return static_cast<zip_int64_t>(length);
  }

  bool ReadFile(uint64_t offset, unsigned char* out, size_t length) {
    if (length >= kReadWindow) return file_.ReadAt(offset, out, length);
    if (offset < window_start_ || offset - window_start_ + length > window_.size()) {
      const auto want = static_cast<size_t>(std::min<uint64_t>(kReadWindow, file_end_ - offset));
      window_.resize(want);
      if (!file_.ReadAt(offset, window_.data(), want)) {
        window_.clear();
        return false;
      }
      window_start_ = offset;
    }
    std::memcpy(out, window_.data() + (offset - window_start_), length);
    return true;
  }

  ByteReader& file_;
  uint64_t file_end_;
  std::vector<unsigned char> tail_;
  uint64_t position_ = 0;
  std::vector<unsigned char> window_;
  uint64_t window_start_ = 0;
  zip_error_t error_;
};

}  // namespace

DirectorySlices::DirectorySlices(ByteReader& file, const ArchiveLayout& layout,
                                 bool check_local_headers)
    : file_(file), layout_(layout), check_local_headers_(check_local_headers) {}

zip_t* DirectorySlices::Holding(uint64_t index, zip_uint64_t* index_in_slice, std::string* error) {
  if (index >= layout_.entries.size()) {
    *error = "no such entry";
    return nullptr;
  }
  const auto slice = static_cast<size_t>(index / kEntriesPerSlice);
  if (slice != slice_) Open(slice);
  if (archive_ == nullptr) {
    *error = error_;
    return nullptr;
  }
  *index_in_slice = index % kEntriesPerSlice;
  return archive_.get();
}

void DirectorySlices::Open(size_t slice) {
  archive_.reset();
  slice_ = slice;
  error_.clear();
  if (slice + 1 >= layout_.slice_offsets.size()) {
    error_ = "the central directory is damaged";
    return;
  }
  const uint64_t first = uint64_t{slice} * kEntriesPerSlice;
  const uint64_t count = std::min<uint64_t>(kEntriesPerSlice, layout_.entries.size() - first);
  const uint64_t offset = layout_.slice_offsets[slice];
  const uint64_t end = layout_.slice_offsets[slice + 1];
  auto view = std::make_unique<SliceView>(file_, end,
                                          EndRecords(count, offset, end - offset, layout_.comment));
  zip_error_t zip_error;
  zip_error_init(&zip_error);
  zip_source_t* source = zip_source_function_create(&SliceView::Callback, view.get(), &zip_error);
  if (source == nullptr) {
    error_ = ZipErrorText(&zip_error);
    zip_error_fini(&zip_error);
    return;
  }
  view.release();  // the source frees it
  const int flags = ZIP_RDONLY | (check_local_headers_ ? ZIP_CHECKCONS : 0);
  zip_t* archive = zip_open_from_source(source, flags, &zip_error);
  if (archive == nullptr) {
    error_ = ZipErrorText(&zip_error);
    zip_error_fini(&zip_error);
    zip_source_free(source);
    return;
  }
  zip_error_fini(&zip_error);
  ZipArchive opened(archive);
  if (zip_get_num_entries(archive, 0) != static_cast<zip_int64_t>(count)) {
    error_ = "the central directory is damaged";
    return;
  }
  archive_ = std::move(opened);
}

}  // namespace nocunzip::unzip32
