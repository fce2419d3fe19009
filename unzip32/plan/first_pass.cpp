#include "plan/first_pass.h"

#include "read/archive_scan.h"
#include "unzip32.h"

namespace nocunzip::unzip32 {
namespace {

// The result code of each problem of the first pass.
// An archive that reads in more than one way is refused whole with 2; one with no reading
// at all (damaged, not a ZIP archive) with 9.
int32_t EndProblemCode(EndProblem problem) {
  switch (problem) {
    case EndProblem::kNone:
      return UZ_OK;
    case EndProblem::kAmbiguous:
      return UZ_ERR_ENTRY;
    case EndProblem::kEncrypted:
      return UZ_ERR_UNSUPPORTED;
    case EndProblem::kEmptyFile:
    case EndProblem::kNotZip:
    case EndProblem::kDamaged:
    case EndProblem::kSplit:
      return UZ_ERR_ARCHIVE;
  }
  return UZ_ERR_ARCHIVE;
}

int32_t ScanProblemCode(ScanResult::Problem problem) {
  switch (problem) {
    case ScanResult::kNone:
      return UZ_OK;
    case ScanResult::kAmbiguous:
      return UZ_ERR_ENTRY;
    case ScanResult::kDamaged:
    case ScanResult::kOverlap:
      return UZ_ERR_ARCHIVE;
  }
  return UZ_ERR_ARCHIVE;
}

}  // namespace

int32_t SurveyArchive(const ExtractOptions& options, Reporter& reporter, SurveyedArchive* survey) {
  const std::string& archive = options.archive;
  if (archive.empty()) {
    reporter.ArchiveError("(no archive)", "no archive name was given");
    return UZ_ERR_ARCHIVE;
  }
  std::string error;
  survey->file = ArchiveFile::Open(archive, &error);
  if (survey->file == nullptr) {
    reporter.ArchiveError(archive, "cannot open the archive: " + error);
    return UZ_ERR_ARCHIVE;
  }
  survey->end = FindArchiveEnd(*survey->file);
  const ArchiveEnd& end = survey->end;
  if (end.problem != EndProblem::kNone) {
    const bool empty = end.problem == EndProblem::kEmptyFile;
    reporter.ArchiveError(archive, (empty ? "not a ZIP archive: " : "") + end.message);
    return EndProblemCode(end.problem);
  }
  survey->wanted.reserve(static_cast<size_t>(std::min<uint64_t>(end.entry_count, 1u << 16)));
  const bool writes_files = !options.test && !options.write_to_stdout && !options.list;
  survey->target_names = TargetNames(options);
  const ScanResult scan = ScanArchive(*survey->file, end, [&](const Entry& entry) {
    ++survey->entries;
    const bool selected = IsSelected(options, entry.name);
    survey->wanted.push_back(selected);
    if (!selected) return;
    ++survey->selected;
    if (writes_files) survey->target_names.Add(entry);
    survey->compressed += entry.compressed_size;
    survey->uncompressed += entry.uncompressed_size;
  });
  if (!scan.ok()) {
    reporter.ArchiveError(archive, scan.message);
    return ScanProblemCode(scan.problem);
  }
  survey->case_twins = scan.case_twins;
  survey->target_names.Seal();
  return UZ_OK;
}

int32_t CheckArchiveSize(const ArchiveFile& file, const std::string& archive, Reporter& reporter) {
  uint64_t now = 0;
  if (file.SizeUnchanged(&now)) return UZ_OK;
  reporter.ArchiveError(archive, "the archive changed size while it was read (" +
                                     std::to_string(file.size()) + " bytes, now " +
                                     std::to_string(now) + "); extraction stopped");
  return UZ_ERR_ENTRY;
}

}  // namespace nocunzip::unzip32
