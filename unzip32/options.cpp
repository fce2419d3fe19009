#include "options.h"

#include "report/caller_text.h"
#include "plan/name_match.h"

namespace nocunzip::unzip32 {
namespace {

std::vector<std::string> ReadList(int32_t count, const char** list) {
  std::vector<std::string> patterns;
  if (list == nullptr) return patterns;
  for (int32_t i = 0; i < count; ++i) {
    if (list[i] != nullptr) patterns.push_back(FromCallerText(list[i]));
  }
  return patterns;
}

}  // namespace

ExtractOptions ReadOptions(const UzOptionsRecord& record, int32_t include_count,
                           const char** include, int32_t exclude_count, const char** exclude) {
  ExtractOptions options;
  options.archive = record.ZipFileName != nullptr ? FromCallerText(record.ZipFileName) : "";
  options.target = record.ExtractDir != nullptr ? FromCallerText(record.ExtractDir) : "";
  options.extract_only_newer = record.ExtractOnlyNewer != 0;
  options.space_to_underscore = record.SpaceToUnderScore != 0;
  options.prompt_overwrite = record.PromptOverwrite != 0;
  options.message_level = record.MessageLevel;
  options.write_to_stdout = record.WriteToStdOut != 0;
  options.test = record.TestZip != 0;
  options.list = record.ExtractList != 0;
  options.extract_newer = record.ExtractNewer != 0;
  options.display_comment = record.DisplayComment != 0;
  options.honor_directories = record.HonorDirectories != 0;
  options.overwrite = record.OverWriteFiles != 0;
  options.convert_line_ends = record.ConvertCRtoCRLF != 0;
  options.verbose = record.Verbose != 0;
  options.case_sensitive = record.CaseSensitive != 0;
  options.restore_permissions = record.Privilege != 0;
  options.include = ReadList(include_count, include);
  options.exclude = ReadList(exclude_count, exclude);
  return options;
}

bool IsSelected(const ExtractOptions& options, const std::string& name) {
  bool included = options.include.empty();
  for (const auto& pattern : options.include) {
    if (MatchesPattern(pattern, name, options.case_sensitive)) {
      included = true;
      break;
    }
  }
  if (!included) return false;
  for (const auto& pattern : options.exclude) {
    if (MatchesPattern(pattern, name, options.case_sensitive)) return false;
  }
  return true;
}

}  // namespace nocunzip::unzip32
