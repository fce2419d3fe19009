// The commit stage: on the calling thread, in entry order, takes each planned entry with
// what its worker made of it, describes it to the caller (MessageCallback,
// ServiceCallback), asks what is still to be asked (a password the workers did not hold,
// whether to replace a file), gives the file its name, prints the entry's line and keeps
// the result code and the counts.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "commit/committed_files.h"
#include "commit/entry_unlocker.h"
#include "commit/replace_rules.h"
#include "decrypt/password.h"
#include "disk/output.h"
#include "options.h"
#include "plan/planned_entry.h"
#include "report/report.h"
#include "report/run_tally.h"
#include "workers/decode_pool.h"
#include "workers/entry_job.h"

namespace nocunzip::unzip32 {

class Committer {
 public:
  // `context.target` is null when nothing is written. `pool`'s own buffers serve what the
  // calling thread decodes itself, and it closes what it holds when the commit finds no
  // descriptor free. `files` is how many files the run may commit at most. `case_twins`:
  // see ReplaceRules.
  Committer(const JobContext& context, Reporter& reporter, PasswordStore& passwords,
            DecodePool& pool, size_t files, const std::vector<CaseTwin>& case_twins);

  // Commits `planned`, with `decoded` from its worker for entries decoded ahead; false
  // when the run ends here (the caller stopped it, or the disk is full).
  bool Commit(const PlannedEntry& planned, DecodedEntry decoded);
  // Gives the directories made their times back, once nothing more is written into them.
  void RestoreDirectoryTimes();

  int32_t result() const { return result_; }
  const RunTally& tally() const { return tally_; }
  // The run's result becomes `code` unless it is already worse.
  void KeepWorseResult(int32_t code) { result_ = std::max(result_, code); }

 private:
  // Describes `entry` to the caller (MessageCallback) and asks whether to go on
  // (ServiceCallback); false when the caller stops the run here.
  bool DescribeToCaller(const Entry& entry);
  bool CommitFile(const PlannedEntry& planned, DecodedEntry decoded);
  // Links `file` for `planned` as `verdict` says; false when the run ends here.
  bool LinkAsJudged(const PlannedEntry& planned, OutputFile& file, Verdict verdict);
  // Acts on a verdict that writes nothing; false when the run ends here.
  bool ActWithoutWriting(const Entry& entry, const Verdict& verdict);
  // What is at the entry's path in the target now.
  ExistingFile ProbeTarget(const PlannedEntry& planned) {
    return context_.target->Probe(planned.path);
  }
  // Does `step`; when it finds no descriptor free, once more after the pool closed all
  // that it holds.
  IoResult RetryingWithDescriptorsFreed(const std::function<IoResult()>& step);
  // Decodes on this thread, asking for the password where needed.
  DecodedEntry DecodeHere(const PlannedEntry& planned);
  void PrintContents(const PlannedEntry& planned);
  // False when the run ends here.
  bool MakeDirectory(const PlannedEntry& planned);
  // Reports a failed entry; false when the run ends here.
  bool Failed(const PlannedEntry& planned, const DecodedEntry& decoded);
  void Warn(const Entry& entry, const std::string& why, int32_t code);
  void Fail(const Entry& entry, const std::string& why, int32_t code);

  const JobContext& context_;
  const ExtractOptions& options_;
  Reporter& reporter_;
  EntryUnlocker unlocker_;
  DecodePool& pool_;
  CommittedFiles committed_;
  ReplaceRules rules_;
  std::vector<std::pair<RelativePath, int64_t>> directory_times_;
  RunTally tally_;
  int32_t result_ = 0;
};

}  // namespace nocunzip::unzip32
