// What becomes of an entry whose name is taken on disk: the options' rules, the question to
// the caller, and the words that say why a file was kept. Runs on the calling thread, at the
// entry's turn to be committed.
#pragma once

#include <string>
#include <vector>

#include "commit/committed_files.h"
#include "disk/output.h"
#include "options.h"
#include "read/entry.h"
#include "read/archive_scan.h"
#include "report/report.h"

namespace nocunzip::unzip32 {

struct Verdict {
  enum Kind {
    kWrite,     // link the file, replacing what is there when `replace`
    kKeep,      // leave what is there; `line` says so as a warning (counted as skipped)
    kPassOver,  // leave what is there; `line` is the entry's done-line ("skipped (up to date)")
    kFail,      // the entry fails: `line` is the reason, `code` the result
    kStop,      // the caller cancelled at the question: the run ends
  };
  Kind kind = kWrite;
  bool replace = false;
  int32_t code = 0;
  std::string line;
};

// Whether `options` write every entry whose name is free, without looking at the disk or
// asking: true unless the newer rules compare times or skip missing files.
inline bool WritesEveryFreeName(const ExtractOptions& options) {
  return !options.extract_newer && !options.extract_only_newer;
}

class ReplaceRules {
 public:
  // `case_twins` (in entry order) name the earlier entry of each pair of paths that differ
  // only in case, where the file system ignores case.
  ReplaceRules(const ExtractOptions& options, Reporter& reporter, const CommittedFiles& committed,
               const std::vector<CaseTwin>& case_twins)
      : options_(options), reporter_(reporter), committed_(committed), case_twins_(case_twins) {}

  // Whether the rules need to know what is on disk before the file is linked: the newer
  // rules compare times and skip missing files.
  bool LooksFirst() const { return !WritesEveryFreeName(options_); }
  // The verdict for `entry`, to be written as `shown`, when `existing` is what is there
  // (asking the caller where the options say so).
  Verdict Judge(const Entry& entry, const std::string& shown, const ExistingFile& existing);

 private:
  Verdict JudgeNewer(const Entry& entry, const ExistingFile& existing) const;
  // Why the file on disk was kept, naming the earlier entry where this run wrote it.
  std::string Kept(const Entry& entry, const std::string& shown,
                   const ExistingFile& existing) const;

  const ExtractOptions& options_;
  Reporter& reporter_;
  const CommittedFiles& committed_;
  const std::vector<CaseTwin>& case_twins_;
};

}  // namespace nocunzip::unzip32
