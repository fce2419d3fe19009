// The first pass over an archive, before anything is written: opens the archive (the one
// handle of the run), finds its end records, reads every entry once to check the whole
// archive and to select the entries that the name lists want. Its problems become the
// run's result codes here, in one place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "options.h"
#include "plan/target_names.h"
#include "read/archive_file.h"
#include "read/end_records.h"
#include "read/archive_scan.h"
#include "report/report.h"

namespace nocunzip::unzip32 {

struct SurveyedArchive {
  std::unique_ptr<ArchiveFile> file;
  ArchiveEnd end;
  std::vector<bool> wanted;  // the entries selected, by index
  uint64_t entries = 0;      // in the directory
  uint64_t selected = 0;
  uint64_t compressed = 0;  // of the selected entries
  uint64_t uncompressed = 0;
  // Entries whose paths differ from an earlier one's only in case, where the file system
  // ignores case (Windows), in entry order: they meet on disk under the overwrite rules.
  std::vector<CaseTwin> case_twins;
  // Which selected entries share their name in the target with another one.
  TargetNames target_names;
};

// Opens and checks the archive that `options` names. Returns UZ_OK, or the result code of
// the run after saying why through `reporter`.
int32_t SurveyArchive(const ExtractOptions& options, Reporter& reporter, SurveyedArchive* survey);

// The run's result when the archive changed size under it: says so and gives the code;
// UZ_OK while it has the size it had when opened.
int32_t CheckArchiveSize(const ArchiveFile& file, const std::string& archive, Reporter& reporter);

}  // namespace nocunzip::unzip32
