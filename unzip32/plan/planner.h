// The plan: walks the central directory of the first pass again, in order, and decides for
// every selected entry what becomes of it (the options, the name lists, the path it maps
// to, whether its method is there, where its data lie). Asks nothing: the questions that
// need a callback come at the entry's turn to be committed. Runs on the calling thread,
// which alone reads the directory (and so converts its times).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "options.h"
#include "plan/planned_entry.h"
#include "read/archive_file.h"
#include "read/central_directory.h"
#include "read/end_records.h"

namespace nocunzip::unzip32 {

class Planner {
 public:
  // `wanted` marks the entries that the first pass selected, by index; an entry it never
  // saw (the directory changed since) is not selected. All must outlive the planner.
  Planner(ByteReader& archive, const ArchiveEnd& end, const std::vector<bool>& wanted,
          const ExtractOptions& options);

  // The next selected entry; false after the last one.
  bool Next(PlannedEntry* planned);

 private:
  void Decide(PlannedEntry& planned) const;
  bool MapPath(PlannedEntry& planned) const;

  const ArchiveEnd& end_;
  const std::vector<bool>& wanted_;
  const ExtractOptions& options_;
  const bool writes_files_;
  CentralDirectory directory_;
  WindowedReader headers_;
  std::string problem_;
};

}  // namespace nocunzip::unzip32
