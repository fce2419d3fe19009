// The first pass over an archive, before anything is extracted: every central directory
// record is read and shown to a visitor, and every entry's local header is found and its
// range checked against the others, so that a damaged or hostile archive is refused as a
// whole before the first file is written.
#pragma once

#include <functional>
#include <string>

#include "read/archive_file.h"
#include "read/end_records.h"
#include "read/entry.h"

namespace nocunzip::unzip32 {

struct ScanResult {
  enum Problem { kNone, kDamaged, kOverlap };
  Problem problem = kNone;
  std::string message;  // what is wrong, for a person
  bool ok() const { return problem == kNone; }
};

// Reads the entries of the archive that `end` describes, calling `visit` once for each, in
// directory order (also for those before a problem that ends the scan).
ScanResult ScanArchive(ByteReader& reader, const ArchiveEnd& end,
                       const std::function<void(const Entry&)>& visit);

}  // namespace nocunzip::unzip32
