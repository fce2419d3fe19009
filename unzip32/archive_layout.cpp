#include "archive_layout.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "little_endian.h"

namespace nocunzip::unzip32 {
namespace {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr size_t kEndSize = 22;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kMaxCommentSize = 0xFFFF;
constexpr uint16_t kFlagDataDescriptor = 1u << 3;
constexpr uint64_t kSmallestDataDescriptor = 12;  // CRC and two 4-byte sizes

// a + b, or false when it does not fit 64 bits.
bool AddChecked(uint64_t a, uint64_t b, uint64_t* sum) {
  if (a > UINT64_MAX - b) return false;
  *sum = a + b;
  return true;
}

// Reads through a window, so that the many small records of a large archive cost few
// reads of the file.
class WindowReader {
 public:
  explicit WindowReader(ByteReader& reader) : reader_(reader), window_(64 * 1024) {}

  bool Read(uint64_t offset, void* out, size_t length) {
    if (length == 0) return offset <= reader_.size();
    if (length > window_.size()) return reader_.ReadAt(offset, out, length);
    if (offset < base_ || offset - base_ > filled_ || filled_ - (offset - base_) < length) {
      if (offset > reader_.size()) return false;
      const uint64_t available = reader_.size() - offset;
      const size_t want = static_cast<size_t>(std::min<uint64_t>(window_.size(), available));
      if (want < length || !reader_.ReadAt(offset, window_.data(), want)) return false;
      base_ = offset;
      filled_ = want;
    }
    std::memcpy(out, window_.data() + (offset - base_), length);
    return true;
  }

 private:
  ByteReader& reader_;
  std::vector<unsigned char> window_;
  uint64_t base_ = 0;
  size_t filled_ = 0;
};

ArchiveLayout Fail(LayoutProblem problem, std::string message) {
  ArchiveLayout layout;
  layout.problem = problem;
  layout.message = std::move(message);
  return layout;
}

struct EndRecord {
  uint64_t position = 0;  // of the record that the central directory must end before
  uint64_t entry_count = 0;
  uint64_t directory_size = 0;
  uint64_t directory_offset = 0;
  bool multi_disk = false;
  std::string comment;
};

// Finds the end of central directory record: the last one in the final 64 KiB whose
// comment fits the file.
bool FindEndRecord(ByteReader& reader, EndRecord* end) {
  const uint64_t size = reader.size();
  if (size < kEndSize) return false;
  const uint64_t tail_size = std::min<uint64_t>(size, kEndSize + kMaxCommentSize);
  std::vector<unsigned char> tail(static_cast<size_t>(tail_size));
  const uint64_t tail_start = size - tail_size;
  if (!reader.ReadAt(tail_start, tail.data(), tail.size())) return false;
  for (size_t at = tail.size() - kEndSize + 1; at-- > 0;) {
    const unsigned char* p = tail.data() + at;
    if (Get32(p) != kEndSignature) continue;
    const uint16_t comment_length = Get16(p + 20);
    if (at + kEndSize + comment_length > tail.size()) continue;
    end->position = tail_start + at;
    end->multi_disk = Get16(p + 4) != 0 || Get16(p + 6) != 0 || Get16(p + 8) != Get16(p + 10);
    end->entry_count = Get16(p + 10);
    end->directory_size = Get32(p + 12);
    end->directory_offset = Get32(p + 16);
    end->comment.assign(reinterpret_cast<const char*>(p + kEndSize), comment_length);
    return true;
  }
  return false;
}

// Replaces the end record's counts by those of the zip64 end record when there is one.
// Returns an empty text, or what is wrong.
std::string ReadZip64End(ByteReader& reader, EndRecord* end) {
  if (end->position < kZip64LocatorSize) return {};
  unsigned char locator[kZip64LocatorSize];
  if (!reader.ReadAt(end->position - kZip64LocatorSize, locator, sizeof locator) ||
      Get32(locator) != kZip64LocatorSignature) {
    return {};
  }
  const uint64_t record_offset = Get64(locator + 8);
  if (Get32(locator + 4) != 0 || Get32(locator + 16) > 1) end->multi_disk = true;
  unsigned char record[kZip64EndSize];
  uint64_t record_end = 0;
  if (!AddChecked(record_offset, kZip64EndSize, &record_end) ||
      record_end > end->position - kZip64LocatorSize ||
      !reader.ReadAt(record_offset, record, sizeof record) || Get32(record) != kZip64EndSignature) {
    return "the zip64 end record is missing or damaged";
  }
  if (Get32(record + 16) != 0 || Get32(record + 20) != 0 ||
      Get64(record + 24) != Get64(record + 32)) {
    end->multi_disk = true;
  }
  end->entry_count = Get64(record + 32);
  end->directory_size = Get64(record + 40);
  end->directory_offset = Get64(record + 48);
  end->position = record_offset;
  return {};
}

// Applies the zip64 extra field of a central header to the values that are maxed out.
bool ApplyZip64Extra(const unsigned char* extra, size_t length, CentralEntry* entry,
                     bool* disk_is_maxed) {
  size_t at = 0;
  while (at + 4 <= length) {
    const uint16_t id = Get16(extra + at);
    const uint16_t size = Get16(extra + at + 2);
    if (at + 4 + size > length) return false;
    if (id == 0x0001) {
      const unsigned char* field = extra + at + 4;
      size_t used = 0;
      auto take = [&](uint64_t* value) {
        if (used + 8 > size) return false;
        *value = Get64(field + used);
        used += 8;
        return true;
      };
      if (entry->uncompressed_size == 0xFFFFFFFF && !take(&entry->uncompressed_size)) return false;
      if (entry->compressed_size == 0xFFFFFFFF && !take(&entry->compressed_size)) return false;
      if (entry->local_offset == 0xFFFFFFFF && !take(&entry->local_offset)) return false;
      if (*disk_is_maxed) {
        if (used + 4 > size) return false;
        *disk_is_maxed = Get32(field + used) != 0;
      }
      return true;
    }
    at += 4 + size;
  }
  return true;
}

std::string NameAt(WindowReader& window, uint64_t header_offset) {
  unsigned char header[kCentralHeaderSize];
  if (!window.Read(header_offset, header, sizeof header)) return "?";
  std::string name(Get16(header + 28), '\0');
  if (!window.Read(header_offset + kCentralHeaderSize, name.data(), name.size())) return "?";
  return name;
}

}  // namespace

ArchiveLayout CheckArchiveLayout(ByteReader& reader) {
  if (reader.size() == 0) return Fail(LayoutProblem::kEmptyFile, "the file is empty");
  EndRecord end;
  if (!FindEndRecord(reader, &end)) {
    return Fail(LayoutProblem::kNotZip,
                "no end of central directory found: not a ZIP archive, or a truncated one");
  }
  if (std::string problem = ReadZip64End(reader, &end); !problem.empty()) {
    return Fail(LayoutProblem::kDamaged, problem);
  }
  if (end.multi_disk) {
    return Fail(LayoutProblem::kDamaged, "the archive spans several disks, which is not supported");
  }
  uint64_t directory_end = 0;
  if (!AddChecked(end.directory_offset, end.directory_size, &directory_end) ||
      directory_end > end.position) {
    return Fail(LayoutProblem::kDamaged,
                "the central directory lies outside the file: the archive is truncated or "
                "damaged");
  }
  if (end.entry_count > end.directory_size / kCentralHeaderSize) {
    return Fail(LayoutProblem::kDamaged, "the central directory is too small for its entries");
  }

  ArchiveLayout layout;
  layout.comment = std::move(end.comment);
  layout.entries.reserve(static_cast<size_t>(end.entry_count));
  std::vector<uint64_t> header_offsets;
  header_offsets.reserve(static_cast<size_t>(end.entry_count));
  WindowReader window(reader);
  std::vector<unsigned char> extra;
  uint64_t at = end.directory_offset;
  for (uint64_t i = 0; i < end.entry_count; ++i) {
    unsigned char header[kCentralHeaderSize];
    if (directory_end - at < kCentralHeaderSize || !window.Read(at, header, sizeof header) ||
        Get32(header) != kCentralHeaderSignature) {
      return Fail(LayoutProblem::kDamaged,
                  "central directory entry " + std::to_string(i + 1) + " is damaged");
    }
    CentralEntry entry;
    entry.made_by_system = header[5];
    entry.flags = Get16(header + 8);
    entry.method = Get16(header + 10);
    entry.crc = Get32(header + 16);
    entry.compressed_size = Get32(header + 20);
    entry.uncompressed_size = Get32(header + 24);
    const uint16_t name_length = Get16(header + 28);
    const uint16_t extra_length = Get16(header + 30);
    const uint16_t comment_length = Get16(header + 32);
    bool disk_is_maxed = Get16(header + 34) == 0xFFFF;
    const bool other_disk = Get16(header + 34) != 0 && !disk_is_maxed;
    entry.internal_attributes = Get16(header + 36);
    entry.external_attributes = Get32(header + 38);
    entry.local_offset = Get32(header + 42);
    const uint64_t record_size =
        kCentralHeaderSize + uint64_t{name_length} + extra_length + comment_length;
    if (directory_end - at < record_size) {
      return Fail(LayoutProblem::kDamaged,
                  "central directory entry " + std::to_string(i + 1) + " runs past the directory");
    }
    extra.resize(extra_length);
    if (!window.Read(at + kCentralHeaderSize + name_length, extra.data(), extra.size()) ||
        !ApplyZip64Extra(extra.data(), extra.size(), &entry, &disk_is_maxed)) {
      return Fail(LayoutProblem::kDamaged,
                  "entry " + NameAt(window, at) + " has a damaged zip64 extra field");
    }
    if (other_disk || disk_is_maxed) {
      return Fail(LayoutProblem::kDamaged, "entry " + NameAt(window, at) + " lies on another disk");
    }
    header_offsets.push_back(at);
    if (i % kEntriesPerSlice == 0) layout.slice_offsets.push_back(at);
    layout.entries.push_back(entry);
    at += record_size;
  }
  if (at != directory_end) {
    return Fail(LayoutProblem::kDamaged,
                "the central directory holds more than its declared entries");
  }
  layout.slice_offsets.push_back(directory_end);

  // Each local header, then the data it introduces, in file order.
  std::vector<size_t> order(layout.entries.size());
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return layout.entries[a].local_offset < layout.entries[b].local_offset;
  });
  for (size_t k = 0; k < order.size(); ++k) {
    CentralEntry& entry = layout.entries[order[k]];
    const std::string_view problem_intro = "entry ";
    unsigned char local[kLocalHeaderSize];
    if (entry.local_offset >= end.directory_offset ||
        !window.Read(entry.local_offset, local, sizeof local) ||
        Get32(local) != kLocalHeaderSignature) {
      return Fail(LayoutProblem::kDamaged, std::string(problem_intro) +
                                               NameAt(window, header_offsets[order[k]]) +
                                               " has no local header where the directory says");
    }
    const uint64_t header_size = kLocalHeaderSize + uint64_t{Get16(local + 26)} + Get16(local + 28);
    uint64_t data_end = 0;
    uint64_t entry_end = 0;
    if (!AddChecked(entry.local_offset, header_size, &entry.data_offset) ||
        !AddChecked(entry.data_offset, entry.compressed_size, &data_end) ||
        !AddChecked(data_end, (entry.flags & kFlagDataDescriptor) ? kSmallestDataDescriptor : 0,
                    &entry_end)) {
      entry_end = UINT64_MAX;
    }
    const bool last = k + 1 == order.size();
    const uint64_t limit = last ? end.directory_offset : layout.entries[order[k + 1]].local_offset;
    if (entry_end > limit) {
      if (last) {
        return Fail(LayoutProblem::kDamaged,
                    "the data of entry " + NameAt(window, header_offsets[order[k]]) +
                        " runs into the central directory: its declared size is wrong or the "
                        "archive is damaged");
      }
      return Fail(LayoutProblem::kOverlap,
                  "entries " + NameAt(window, header_offsets[order[k]]) + " and " +
                      NameAt(window, header_offsets[order[k + 1]]) +
                      " overlap: the archive is damaged or built to exhaust the disk");
    }
  }
  return layout;
}

}  // namespace nocunzip::unzip32
