// What a reader that streams through the archive from its first byte sees: libarchive's
// streaming reader, as bsdtar runs it on a pipe, and the scanners and mail filters that read
// archives the same way.
//
// It takes the file for a ZIP archive only when the file begins with a record signature or
// the spanning marker "PK00". From there it looks for the next local header, skipping
// whatever else lies in between, and stops at a central directory record, a zip64 end record
// or an end record. It reads each entry by its local header alone: the size there; with flag
// bit 3 the data up to the data descriptor, whose sizes are 64 bits wide where the local
// header carries a zip64 field; for stored data with bit 3, up to the first descriptor
// signature that is followed by the CRC of the bytes before it.
//
// The first pass walks the archive the same way (StreamingWalk, driven by archive_scan.cpp
// entry by entry and gap by gap) and refuses an archive whose walk finds other entries or
// other data than its central directory lists. Data in front that a streaming reader does not
// take are still read by 7-Zip where they hold local headers that lead on to the first listed
// entry: the walk refuses those too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "read/archive_file.h"
#include "read/entry.h"
#include "read/entry_layout.h"

namespace nocunzip::unzip32 {

// Whether a streaming reader takes the file for a ZIP archive at all.
bool StreamingReaderTakes(WindowedReader& reader);

// How a streaming reader leaves an entry.
struct StreamedEntry {
  enum Outcome {
    kResumes,        // it goes on at `resume`
    kEndsElsewhere,  // it ends the entry's data elsewhere than the directory: `problem` says so
    kLost,           // it finds no end and fails: it reads nothing after the entry
  };
  Outcome outcome = kResumes;
  uint64_t resume = 0;
  std::string problem;
};

// Where a streaming reader goes on after the entry whose local header is `local` and whose
// data the directory puts at [data_offset, data_end); nothing it reads lies at or past
// `limit` (the central directory). The data of compressed entries is taken to end at
// data_end: only decoding can tell, and the decoder refuses data that end elsewhere.
StreamedEntry FollowEntry(WindowedReader& reader, const Entry& entry, const LocalRecord& local,
                          uint64_t data_offset, uint64_t data_end, uint64_t limit);

// The bytes between an entry (or the start of the file) and the next local header (or the
// central directory), as both kinds of reader see them.
struct Gap {
  uint64_t resume = 0;  // where a streaming reader goes on
  uint64_t end = 0;     // where the entry before ends for a reader of the directory
  uint64_t next = 0;    // the next thing that the directory lists
};

// The first record signature in `gap` that makes a streaming reader see other entries than
// the directory (a local header it takes for an entry, a record it stops at), or that lies
// between entries where no record belongs: its offset in `where`, and what a reader makes of
// it in `meaning`.
bool FindRecordSignature(WindowedReader& reader, const Gap& gap, uint64_t* where,
                         std::string* meaning);

// The walk of one archive, in file order. Each check gives what makes a streaming reader
// (or 7-Zip, in front) see other entries than the directory lists, for a person, or nothing.
class StreamingWalk {
 public:
  explicit StreamingWalk(WindowedReader& reader);

  // The bytes in front of the first listed local header, at `first_local`.
  std::optional<std::string> CheckFront(uint64_t first_local);
  // Follows `entry`, laid out as `layout` with the local header `local`, and gives in
  // `resume` where the walk goes on: as a streaming reader reads its data and descriptor, or
  // at the end that the directory gives once the reader has failed.
  std::optional<std::string> Follow(const Entry& entry, const LocalRecord& local,
                                    const EntryLayout& layout, uint64_t limit, uint64_t* resume);
  // The bytes of `gap` between the entry `before` and what follows (`after`); empty names
  // for bytes in front of the first entry.
  std::optional<std::string> CheckGap(const Gap& gap, const std::string& before,
                                      const std::string& after);

 private:
  WindowedReader& reader_;
  bool taken_;         // the streaming reader takes the file for a ZIP archive
  bool lost_ = false;  // it failed at an entry and reads nothing after it
};

}  // namespace nocunzip::unzip32
