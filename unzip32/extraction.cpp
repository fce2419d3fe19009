#include "extraction.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <string>

#include "commit/committer.h"
#include "commit/replace_rules.h"
#include "decrypt/password.h"
#include "disk/output.h"
#include "plan/first_pass.h"
#include "plan/planner.h"
#include "report/listing.h"
#include "report/report.h"
#include "report/run_tally.h"
#include "workers/decode_pool.h"
#include "workers/entry_job.h"
#include "workers/worker_settings.h"

namespace nocunzip::unzip32 {
namespace {

// The plan checks every this many entries that the archive kept its size: one fstat per
// 256 entries vanishes beside the entries' own work, and an archive replaced under the run
// is still noticed before many more of its entries are read.
constexpr uint64_t kSizeCheckInterval = 256;

uint32_t Clamp32(uint64_t value) {
  return static_cast<uint32_t>(std::min<uint64_t>(value, 0xFFFFFFFF));
}

void FillTotals(const SurveyedArchive& survey, UzCallbackRecord& callbacks) {
  callbacks.TotalCompressedSize = Clamp32(survey.compressed);
  callbacks.TotalUncompressedSize = Clamp32(survey.uncompressed);
  callbacks.CompressionFactor = SavedPerMille(survey.uncompressed, survey.compressed);
  callbacks.NumberOfMembers = Clamp32(survey.selected);
  callbacks.CommentLength =
      static_cast<uint16_t>(std::min<size_t>(survey.end.comment.size(), 0xFFFF));
}

void ShowComment(const std::string& comment, Reporter& reporter) {
  if (comment.empty()) return;
  reporter.Print(comment.back() == '\n' ? comment : comment + "\n");
}

// The plan, the workers and the commit of one run.
class Pipeline {
 public:
  Pipeline(const ExtractOptions& options, SurveyedArchive& survey, TargetDirectory* target,
           Reporter& reporter)
      : survey_(survey),
        reporter_(reporter),
        context_{*survey.file, target, options, passwords_},
        planner_(*survey.file, survey.end, survey.wanted, options),
        pool_(WorkerCountForRun(), OpenFileLimit()),
        committer_(context_, reporter, passwords_, pool_, survey.selected, survey.case_twins) {}

  int32_t Run();
  const RunTally& tally() const { return committer_.tally(); }

 private:
  // Plans entries and hands them to the workers while the bounds allow; false when the
  // archive changed size meanwhile.
  bool PlanAhead();
  // What the workers made of `planned`, the oldest entry pending, checked as it is now.
  DecodedEntry Fetch(const PlannedEntry& planned);
  // Says whether the file of `planned` shares its name and whether a worker may name it.
  void MarkNaming(PlannedEntry& planned) const;
  // The job of `planned` on the thread that owns `buffers`.
  DecodedEntry Decode(const PlannedEntry& planned, DecodeBuffers& buffers);

  SurveyedArchive& survey_;
  Reporter& reporter_;
  PasswordStore passwords_;
  JobContext context_;
  Planner planner_;
  // Planned and not committed, in entry order. Declared before the pool, whose workers
  // read them until it is gone.
  std::deque<std::unique_ptr<PlannedEntry>> pending_;
  std::unique_ptr<PlannedEntry> next_;  // planned, not yet admitted
  bool planning_ = true;
  uint64_t planned_ = 0;
  DecodePool pool_;
  Committer committer_;
};

bool Pipeline::PlanAhead() {
  while (planning_ && pending_.size() < kPendingJobs) {
    if (next_ == nullptr) {
      next_ = std::make_unique<PlannedEntry>();
      if (!planner_.Next(next_.get())) {
        planning_ = false;
        next_.reset();
        break;
      }
      MarkNaming(*next_);
      if (++planned_ % kSizeCheckInterval == 0 &&
          CheckArchiveSize(*survey_.file, context_.options.archive, reporter_) != UZ_OK) {
        return false;
      }
    }
    if (next_->DecodedAhead()) {
      const uint64_t bytes = next_->entry.uncompressed_size;
      const uint64_t descriptors =
          next_->action == PlannedEntry::kWriteFile ? kDescriptorsPerFile : 0;
      if (!pool_.Admits(bytes, descriptors)) break;
      const PlannedEntry* planned = next_.get();
      pool_.Submit([this, planned](DecodeBuffers& buffers) { return Decode(*planned, buffers); },
                   bytes, descriptors);
    }
    pending_.push_back(std::move(next_));
  }
  return true;
}

void Pipeline::MarkNaming(PlannedEntry& planned) const {
  if (planned.action != PlannedEntry::kWriteFile) return;
  planned.shares_name = survey_.target_names.Shared(planned.entry.index);
  planned.named_ahead = !planned.shares_name && WritesEveryFreeName(context_.options);
}

// A worker names a file whose name nothing else of the run can take; the calling thread
// (one worker, or a job run again there) names every file in its turn, after its callbacks.
DecodedEntry Pipeline::Decode(const PlannedEntry& planned, DecodeBuffers& buffers) {
  DecodedEntry decoded = RunEntryJob(context_, planned, buffers);
  if (planned.named_ahead && decoded.file != nullptr && pool_.IsWorkers(buffers)) {
    decoded.file->NameAhead();
  }
  return decoded;
}

// A worker unlocks an entry with the password held when its job starts. When the caller
// has given another one since (for an earlier entry), a failure may be the old password's,
// which passed the entry's check by chance: the entry is decoded again here with the
// password held now, and so asked for when that does not fit, as with one worker.
DecodedEntry Pipeline::Fetch(const PlannedEntry& planned) {
  if (!planned.DecodedAhead()) return {};
  DecodedEntry decoded = pool_.WaitOldest();
  const bool older_password = planned.entry.encryption != Encryption::kNone &&
                              decoded.password_generation != passwords_.generation();
  if (decoded.status == DecodedEntry::kFailed && older_password) {
    return pool_.RunHere(
        [&](DecodeBuffers& buffers) { return RunEntryJob(context_, planned, buffers); });
  }
  return decoded;
}

int32_t Pipeline::Run() {
  for (;;) {
    if (!PlanAhead()) {
      committer_.KeepWorseResult(UZ_ERR_ENTRY);
      break;
    }
    if (pending_.empty()) break;
    const PlannedEntry& head = *pending_.front();
    const bool go_on = committer_.Commit(head, Fetch(head));
    pending_.pop_front();
    if (!go_on) break;
  }
  // After a stop, the files of later entries that workers named are taken back, before the
  // directories get their times.
  pool_.DropAll();
  committer_.RestoreDirectoryTimes();
  if (CheckArchiveSize(*survey_.file, context_.options.archive, reporter_) != UZ_OK) {
    committer_.KeepWorseResult(UZ_ERR_ENTRY);
  }
  return committer_.result();
}

}  // namespace

int32_t RunExtraction(const ExtractOptions& options, UzCallbackRecord& callbacks) {
  Reporter reporter(callbacks, options.message_level, options.verbose);
  SurveyedArchive survey;
  if (const int32_t code = SurveyArchive(options, reporter, &survey); code != UZ_OK) {
    return code;
  }
  FillTotals(survey, callbacks);
  if (options.display_comment) ShowComment(survey.end.comment, reporter);
  if (survey.selected == 0) {
    reporter.ArchiveError(options.archive, survey.entries == 0
                                               ? "the archive holds no entries"
                                               : "no entry matches the given names");
    return UZ_ERR_NO_MATCH;
  }
  if (options.list) return ListEntries(*survey.file, survey.end, survey.wanted, reporter);
  std::unique_ptr<TargetDirectory> target;
  if (!options.test && !options.write_to_stdout) {
    IoResult opened;
    target = TargetDirectory::Open(options.target, &opened);
    if (target == nullptr) {
      reporter.ArchiveError(options.target.empty() ? "." : options.target, opened.message);
      return UZ_ERR_WRITE;
    }
  }
  Pipeline pipeline(options, survey, target.get(), reporter);
  const int32_t result = pipeline.Run();
  PrintSummary(reporter, options.archive, options.test, pipeline.tally(), result);
  return result;
}

}  // namespace nocunzip::unzip32
