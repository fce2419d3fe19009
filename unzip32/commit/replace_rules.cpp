#include "commit/replace_rules.h"

#include <algorithm>

#include "unzip32.h"

namespace nocunzip::unzip32 {
namespace {

Verdict Make(Verdict::Kind kind, std::string line, int32_t code = 0) {
  Verdict verdict;
  verdict.kind = kind;
  verdict.line = std::move(line);
  verdict.code = code;
  return verdict;
}

Verdict Write(bool replace) {
  Verdict verdict;
  verdict.replace = replace;
  return verdict;
}

}  // namespace

Verdict ReplaceRules::JudgeNewer(const Entry& entry, const ExistingFile& existing) const {
  if (!existing.exists && options_.extract_only_newer) {
    return Make(Verdict::kPassOver, "skipped (not on disk)");
  }
  if (existing.exists && existing.mtime >= entry.mtime) {
    return Make(Verdict::kPassOver, "skipped (up to date)");
  }
  return Write(existing.exists);
}

std::string ReplaceRules::Kept(const Entry& entry, const std::string& shown,
                               const ExistingFile& existing) const {
  // Only a file that this run committed under the name makes the two entries twins.
  if (!committed_.Contains(existing.identity)) return shown + " exists and was not replaced";
  const auto twin =
      std::lower_bound(case_twins_.begin(), case_twins_.end(), entry.index,
                       [](const CaseTwin& pair, uint64_t index) { return pair.index < index; });
  if (twin != case_twins_.end() && twin->index == entry.index) {
    return "entries " + twin->earlier_name + " and " + entry.name +
           " differ only in case, which this file system does not tell apart; the first one "
           "was kept";
  }
  return "two entries are named " + shown + "; the first one was kept";
}

Verdict ReplaceRules::Judge(const Entry& entry, const std::string& shown,
                            const ExistingFile& existing) {
  if (existing.exists && existing.is_directory) {
    return Make(Verdict::kFail, "cannot write " + shown + ": a directory of that name exists",
                UZ_ERR_WRITE);
  }
  if (LooksFirst()) return JudgeNewer(entry, existing);
  if (!existing.exists) return Write(false);
  if (options_.overwrite) return Write(true);
  const std::string kept = Kept(entry, shown, existing);
  if (!options_.prompt_overwrite) return Make(Verdict::kKeep, kept);
  const int32_t answer = reporter_.AskReplace(shown);
  if (answer == UZ_REPLACE_CANCEL) {
    return Make(Verdict::kStop, "extraction cancelled at the question to replace " + shown,
                UZ_ERR_STOPPED);
  }
  if (answer != UZ_REPLACE_YES) return Make(Verdict::kKeep, kept);
  return Write(true);
}

}  // namespace nocunzip::unzip32
