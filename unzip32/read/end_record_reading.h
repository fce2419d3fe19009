// Where one end of central directory record leads, with the zip64 records before it: the
// directory right before the end records (where Python's zipfile looks), and the one at
// the recorded offset (where bsdtar and 7-Zip look) when that is elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "read/byte_reader.h"
#include "read/end_records.h"

namespace nocunzip::unzip32 {

struct EndRecordReadings {
  // The directory right before the end records, and the one at the recorded offset where
  // that is elsewhere.
  std::vector<ArchiveEnd> readings;
  // A directory at the recorded offset where none lies right before the end records: some
  // readers take it, but it does not end where the end records begin, so it can only be
  // compared with the readings of other records. Also the directories of zip64 records that
  // classic fields of their own contradict: readers that follow the locator take them.
  std::vector<ArchiveEnd> partial_readings;
  // kAmbiguous when the records can be read in more than one way: counts that differ, zip64
  // records that readers follow to different places. `message` says so for a person.
  EndProblem problem = EndProblem::kNone;
  std::string message;
  bool several_disks = false;  // the records name other disks
};

// Reads the classic end record at offset `at` of `tail`, the last bytes of the file, which
// begin at `tail_start` of it.
EndRecordReadings ReadEndRecord(ByteReader& reader, const std::vector<unsigned char>& tail,
                                uint64_t tail_start, size_t at);

}  // namespace nocunzip::unzip32
