#include "read/streaming_walk.h"

#include <algorithm>
#include <set>
#include <utility>
#include <vector>

#include "methods/checksum.h"
#include "read/entry_name.h"
#include "read/extra_fields.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

using namespace zip;

// The piece searched for signatures at a time: on the stack, and small enough that a gap of a
// few bytes between entries costs little more than those bytes.
constexpr size_t kChunk = 16 * 1024;
constexpr size_t kOverlap = 3;                    // a signature may straddle two chunks
constexpr uint32_t kSpanningMarker = 0x30304b50;  // "PK00", in front of single-segment archives

// What a streaming reader does at a signature: reads an entry, stops, or skips it.
enum class Seen { kEntry, kStop, kOther, kNothing };

Seen WhatStreamingSees(uint32_t signature) {
  switch (signature) {
    case kLocalHeaderSignature:
      return Seen::kEntry;
    case kCentralHeaderSignature:
    case kEndSignature:
    case kZip64EndSignature:
      return Seen::kStop;
    case kZip64LocatorSignature:
    case kDataDescriptorSignature:
      return Seen::kOther;
  }
  return Seen::kNothing;
}

const char* Meaning(uint32_t signature) {
  switch (signature) {
    case kLocalHeaderSignature:
      return "a local header, where a reader that streams through the archive finds an entry "
             "that the central directory does not list";
    case kCentralHeaderSignature:
      return "a central directory record, where a reader that streams through the archive "
             "stops";
    case kEndSignature:
    case kZip64EndSignature:
      return "an end record, where a reader that streams through the archive stops";
    case kZip64LocatorSignature:
      return "an end record, which readers that search for one may take";
    case kDataDescriptorSignature:
      return "a data descriptor, which a reader that streams through the archive takes for "
             "the end of the entry before";
  }
  return nullptr;
}

// Calls `visit(offset, bytes)` for each 4-byte window of [begin, end) that starts "PK", chunk
// by chunk; stops when `visit` returns true, and returns true then.
template <typename Visit>
bool ForEachPk(WindowedReader& reader, uint64_t begin, uint64_t end, Visit visit) {
  unsigned char chunk[kChunk];
  for (uint64_t at = begin; at + 4 <= end;) {
    const size_t length = static_cast<size_t>(std::min<uint64_t>(end - at, kChunk));
    if (!reader.Read(at, chunk, length)) return false;
    for (size_t i = 0; i + 4 <= length; ++i) {
      if (chunk[i] == 'P' && chunk[i + 1] == 'K' && visit(at + i, chunk + i)) return true;
    }
    if (length < kChunk) break;
    at += length - kOverlap;
  }
  return false;
}

bool SignatureAt(WindowedReader& reader, uint64_t at, uint64_t limit, uint32_t signature) {
  unsigned char bytes[4];
  return at + 4 <= limit && reader.Read(at, bytes, sizeof bytes) && Get32(bytes) == signature;
}

// The CRC of the bytes from `begin` on, computed as far as it is asked for.
class RunningCrc {
 public:
  RunningCrc(WindowedReader& reader, uint64_t begin) : reader_(reader), at_(begin) {}
  // The CRC of the bytes from the beginning up to `end`, which grows from call to call.
  bool Upto(uint64_t end, uint32_t* crc) {
    unsigned char piece[kChunk];
    while (at_ < end) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(end - at_, sizeof piece));
      if (!reader_.Read(at_, piece, n)) return false;
      crc_ = Crc32(crc_, piece, n);
      at_ += n;
    }
    *crc = crc_;
    return true;
  }

 private:
  WindowedReader& reader_;
  uint64_t at_;
  uint32_t crc_ = 0;
};

// The first descriptor signature in [begin, limit) that a streaming reader ends stored data
// at: one followed by the CRC of the bytes before it, or with `any_signature` any one
// (encrypted data, whose CRC only the password tells, and data that the reader skips). At
// `data_end`, where the directory ends the data, the declared CRC stands for the data's
// own: the decoder checks it.
bool FindStoredEnd(WindowedReader& reader, uint64_t begin, uint64_t data_end, uint32_t declared,
                   uint64_t limit, bool any_signature, uint64_t* where) {
  RunningCrc crc(reader, begin);
  return ForEachPk(reader, begin, limit, [&](uint64_t at, const unsigned char* p) {
    if (Get32(p) != kDataDescriptorSignature) return false;
    if (!any_signature) {
      unsigned char field[4];
      uint32_t so_far = declared;
      if (!reader.Read(at + 4, field, sizeof field) || (at != data_end && !crc.Upto(at, &so_far)) ||
          Get32(field) != so_far) {
        return false;
      }
    }
    *where = at;
    return true;
  });
}

StreamedEntry EndsElsewhere(std::string problem) {
  StreamedEntry streamed;
  streamed.outcome = StreamedEntry::kEndsElsewhere;
  streamed.problem = std::move(problem);
  return streamed;
}

// Whether a streaming reader takes the entry of this local header for a directory: it goes
// by the name alone, and skips a directory's data rather than reading them.
bool StreamedAsDirectory(const LocalRecord& local) {
  return !local.raw_name.empty() && local.raw_name.back() == '/';
}

// Stored data with bit 3: the first descriptor signature that fits ends them. Data that the
// reader skips (a directory's) end at the first signature, whatever CRC follows it.
StreamedEntry FollowStored(WindowedReader& reader, const Entry& entry, const LocalRecord& local,
                           uint64_t data_offset, uint64_t data_end, uint64_t limit,
                           size_t descriptor_length) {
  const bool encrypted = entry.encryption != Encryption::kNone;
  const bool skipped = StreamedAsDirectory(local);
  uint64_t at = 0;
  // Encrypted: any signature inside the data may be taken for the end; at their end, a
  // signed descriptor is.
  const uint64_t search_end = encrypted ? data_end : limit;
  if (!FindStoredEnd(reader, data_offset, data_end, entry.crc, search_end, encrypted || skipped,
                     &at)) {
    if (encrypted && SignatureAt(reader, data_end, limit, kDataDescriptorSignature)) {
      return {StreamedEntry::kResumes, data_end + descriptor_length, ""};
    }
    return {StreamedEntry::kLost, data_end, ""};
  }
  if (at == data_end) return {StreamedEntry::kResumes, at + descriptor_length, ""};
  const std::string after = std::to_string(at - data_offset) + " bytes";
  if (at < data_end) {
    return EndsElsewhere("the stored data of entry " + entry.name +
                         " hold a data descriptor after " + after +
                         (encrypted || skipped ? "" : " that the CRC of the bytes before it fits") +
                         ", where a reader that streams through the archive ends the entry");
  }
  if (skipped) {
    return EndsElsewhere("a reader that streams through the archive skips the data of directory " +
                         entry.name + " up to the first data descriptor signature, after " + after +
                         ", and misses what lies before it");
  }
  return EndsElsewhere(
      "a reader that streams through the archive finds no data descriptor "
      "where the stored data of entry " +
      entry.name + " end, and reads on to one after " + after);
}

// The local headers in front of `first_local` that lead from one to the next and on to it:
// a reader that takes the archive to begin at the first of them (7-Zip, for data in front
// that it does not know) reads their entries too. The first of them, if any.
bool FindChainedFrontHeader(WindowedReader& reader, uint64_t first_local, uint64_t* first) {
  std::vector<std::pair<uint64_t, uint64_t>> records;  // (begin, end of data), in file order
  ForEachPk(reader, 0, first_local, [&](uint64_t at, const unsigned char* p) {
    LocalRecord record;
    std::string problem;
    if (Get32(p) == kLocalHeaderSignature &&
        ReadLocalRecord(reader, at, first_local, "", &record, &problem) &&
        first_local - record.data_offset >= record.compressed_size) {
      records.emplace_back(at, record.data_offset + record.compressed_size);
    }
    return false;
  });
  // From the back: a record leads on where its data end at the first listed entry or at a
  // record that leads on.
  std::set<uint64_t> leading = {first_local};
  for (auto record = records.rbegin(); record != records.rend(); ++record) {
    if (leading.count(record->second) == 0) continue;
    leading.insert(record->first);
    *first = record->first;
  }
  return leading.size() > 1;
}

}  // namespace

bool StreamingReaderTakes(WindowedReader& reader) {
  unsigned char first[4];
  if (!reader.Read(0, first, sizeof first)) return false;
  const uint32_t signature = Get32(first);
  return WhatStreamingSees(signature) != Seen::kNothing || signature == kSpanningMarker;
}

StreamedEntry FollowEntry(WindowedReader& reader, const Entry& entry, const LocalRecord& local,
                          uint64_t data_offset, uint64_t data_end, uint64_t limit) {
  if ((local.flags & kFlagDataDescriptor) == 0) return {StreamedEntry::kResumes, data_end, ""};
  // The local header's zip64 field, whatever it holds, announces 64-bit sizes.
  const bool wide = FindExtraFields(local.extra, kExtraZip64).count > 0;
  if (entry.method == kMethodStored) {
    return FollowStored(reader, entry, local, data_offset, data_end, limit, wide ? 24 : 16);
  }
  const bool signed_form = SignatureAt(reader, data_end, limit, kDataDescriptorSignature);
  return {StreamedEntry::kResumes, data_end + (signed_form ? 4 : 0) + (wide ? 20 : 12), ""};
}

bool FindRecordSignature(WindowedReader& reader, const Gap& gap, uint64_t* where,
                         std::string* meaning) {
  const uint64_t begin = std::min(gap.resume, gap.end);
  return ForEachPk(reader, begin, gap.next, [&](uint64_t at, const unsigned char* p) {
    const uint32_t signature = Get32(p);
    const Seen seen = WhatStreamingSees(signature);
    // Where the streaming reader looks for the next header, what it reads or stops at
    // counts; between entries for both readers, any record.
    const bool streaming = at >= gap.resume && (seen == Seen::kEntry || seen == Seen::kStop);
    const bool between = at >= gap.end && seen != Seen::kNothing;
    if (!streaming && !between) return false;
    *where = at;
    *meaning = Meaning(signature);
    return true;
  });
}

StreamingWalk::StreamingWalk(WindowedReader& reader)
    : reader_(reader), taken_(StreamingReaderTakes(reader)) {}

std::optional<std::string> StreamingWalk::Follow(const Entry& entry, const LocalRecord& local,
                                                 const EntryLayout& layout, uint64_t limit,
                                                 uint64_t* resume) {
  *resume = layout.end;
  if (!taken_ || lost_) return std::nullopt;
  StreamedEntry streamed =
      FollowEntry(reader_, entry, local, layout.data_offset, layout.data_end, limit);
  switch (streamed.outcome) {
    case StreamedEntry::kResumes:
      *resume = streamed.resume;
      break;
    case StreamedEntry::kEndsElsewhere:
      return std::move(streamed.problem);
    case StreamedEntry::kLost:
      lost_ = true;
      break;
  }
  return std::nullopt;
}

std::optional<std::string> StreamingWalk::CheckGap(const Gap& gap, const std::string& before,
                                                   const std::string& after) {
  if (gap.resume > gap.next) {
    return "a reader that streams through the archive takes " +
           std::to_string(gap.resume - gap.next) + " bytes of " + after +
           " for the end of the data descriptor of entry " + before +
           " (the form that its local header announces), and misses it";
  }
  uint64_t where = 0;
  std::string meaning;
  if (!FindRecordSignature(reader_, gap, &where, &meaning)) return std::nullopt;
  const std::string bytes = std::to_string(gap.next - std::min(gap.resume, gap.end)) + " bytes";
  if (before.empty()) return "the " + bytes + " in front of the first entry hold " + meaning;
  return "between entry " + before + " and " + after + " lie " + bytes + " that hold " + meaning;
}

std::optional<std::string> StreamingWalk::CheckFront(uint64_t first_local) {
  uint64_t where = 0;
  std::string meaning;
  const Gap front{0, first_local, first_local};
  if (taken_ && !FindRecordSignature(reader_, front, &where, &meaning)) return std::nullopt;
  if (!taken_ && !FindChainedFrontHeader(reader_, first_local, &where)) return std::nullopt;
  LocalRecord hidden;
  std::string problem;
  if (!ReadLocalRecord(reader_, where, first_local, "", &hidden, &problem)) {
    return CheckGap(front, "", "");
  }
  const std::string name = DecodeEntryName(hidden.raw_name, hidden.flags, {});
  return (where == 0
              ? std::string("the file begins with")
              : "the " + std::to_string(first_local) + " bytes in front of the first entry hold") +
         " the local header of an entry (" + name +
         ") that the central directory does not list: a reader that " +
         (taken_ ? "streams from the front" : "takes the archive to begin there") +
         " reads it, a reader of the directory does not";
}

}  // namespace nocunzip::unzip32
