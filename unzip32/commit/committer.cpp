#include "commit/committer.h"

#include "plan/entry_path.h"
#include "unzip32.h"

namespace nocunzip::unzip32 {
namespace {

// Hands the contents to the print callback. Stays on the calling thread.
class PrintSink : public ByteSink {
 public:
  explicit PrintSink(Reporter& reporter) : reporter_(reporter) {}
  IoResult Write(const unsigned char* data, size_t size) override {
    reporter_.PrintContents(std::string_view(reinterpret_cast<const char*>(data), size));
    return IoResult::Ok();
  }

 private:
  Reporter& reporter_;
};

}  // namespace

Committer::Committer(const JobContext& context, Reporter& reporter, PasswordStore& passwords,
                     DecodePool& pool, size_t files, const std::vector<CaseTwin>& case_twins)
    : context_(context),
      options_(context.options),
      reporter_(reporter),
      unlocker_(reporter, passwords),
      pool_(pool),
      rules_(context.options, reporter, committed_, case_twins) {
  committed_.Reserve(files);
}

void Committer::Warn(const Entry& entry, const std::string& why, int32_t code) {
  reporter_.EntryWarning(entry.name, why);
  KeepWorseResult(code);
  ++tally_.skipped;
}

void Committer::Fail(const Entry& entry, const std::string& why, int32_t code) {
  reporter_.EntryError(entry.name, why);
  KeepWorseResult(code);
  ++tally_.failed;
}

bool Committer::DescribeToCaller(const Entry& entry) {
  reporter_.Describe(entry);
  if (reporter_.MayContinue(entry)) return true;
  reporter_.EntryWarning(entry.name, "extraction stopped by the caller");
  result_ = UZ_ERR_STOPPED;
  return false;
}

bool Committer::Commit(const PlannedEntry& planned, DecodedEntry decoded) {
  const Entry& entry = planned.entry;
  if (!DescribeToCaller(entry)) return false;
  switch (planned.action) {
    case PlannedEntry::kNothing:
      return true;
    case PlannedEntry::kWarn:
      Warn(entry, planned.why, planned.code);
      return true;
    case PlannedEntry::kFail:
      Fail(entry, planned.why, planned.code);
      return true;
    case PlannedEntry::kMakeDirectory:
      return MakeDirectory(planned);
    case PlannedEntry::kPrint:
      PrintContents(planned);
      return true;
    case PlannedEntry::kTest:
      if (decoded.status == DecodedEntry::kNeedsPassword) decoded = DecodeHere(planned);
      if (decoded.status != DecodedEntry::kOk) return Failed(planned, decoded);
      reporter_.EntryDone("testing OK", entry, "");
      ++tally_.files;
      return true;
    case PlannedEntry::kWriteFile:
      return CommitFile(planned, std::move(decoded));
  }
  return true;
}

DecodedEntry Committer::DecodeHere(const PlannedEntry& planned) {
  UnlockedEntry unlocked = unlocker_.Unlock(context_.archive, planned.data.offset, planned.entry);
  if (unlocked.status != UnlockedEntry::kOk) return NotUnlocked(unlocked);
  DecodedEntry decoded =
      DecodeUnlocked(context_, planned, unlocked.cipher.get(), pool_.own_buffers());
  if (!decoded.out_of_descriptors) return decoded;
  // The password that fits is held now: the job asks nothing.
  return pool_.RunHere(
      [&](DecodeBuffers& buffers) { return RunEntryJob(context_, planned, buffers); });
}

IoResult Committer::RetryingWithDescriptorsFreed(const std::function<IoResult()>& step) {
  const IoResult result = step();
  if (result.status != IoResult::kNoDescriptors) return result;
  pool_.ReleaseDescriptors();
  return step();
}

void Committer::PrintContents(const PlannedEntry& planned) {
  UnlockedEntry unlocked = unlocker_.Unlock(context_.archive, planned.data.offset, planned.entry);
  DecodedEntry decoded = NotUnlocked(unlocked);
  if (unlocked.status == UnlockedEntry::kOk) {
    PrintSink print(reporter_);
    decoded = DecodeInto(context_, planned, unlocked.cipher.get(), print, pool_.own_buffers());
  }
  if (decoded.status != DecodedEntry::kOk) {
    Failed(planned, decoded);
    return;
  }
  ++tally_.files;
}

bool Committer::MakeDirectory(const PlannedEntry& planned) {
  const IoResult made =
      RetryingWithDescriptorsFreed([&] { return context_.target->MakeDirectory(planned.path); });
  if (!made.ok()) return Failed(planned, FromIo(made));
  directory_times_.emplace_back(planned.path, planned.entry.mtime);
  reporter_.EntryDone("creating", planned.entry, JoinPath(planned.path) + "/");
  ++tally_.directories;
  return true;
}

bool Committer::Failed(const PlannedEntry& planned, const DecodedEntry& decoded) {
  if (decoded.status == DecodedEntry::kNotUnlocked) {
    Fail(planned.entry, decoded.message, decoded.code);
    return true;
  }
  std::string reason = decoded.message;
  if (planned.action == PlannedEntry::kWriteFile) reason += "; nothing written";
  Fail(planned.entry, reason, decoded.code);
  if (!decoded.disk_full) return true;
  reporter_.ArchiveError(options_.archive, "the disk is full; extraction stopped");
  return false;
}

bool Committer::ActWithoutWriting(const Entry& entry, const Verdict& verdict) {
  switch (verdict.kind) {
    case Verdict::kWrite:
      break;
    case Verdict::kKeep:
      Warn(entry, verdict.line, UZ_WARNING);
      break;
    case Verdict::kPassOver:
      reporter_.EntryDone(verdict.line, entry, "");
      break;
    case Verdict::kFail:
      Fail(entry, verdict.line, verdict.code);
      break;
    case Verdict::kStop:
      reporter_.EntryWarning(entry.name, verdict.line);
      result_ = verdict.code;
      return false;
  }
  return true;
}

// The newer rules look at the disk before linking; the others link first and look only
// when the name is taken. An entry whose password must be asked for is judged before the
// password is asked, as its questions come in that order.
bool Committer::CommitFile(const PlannedEntry& planned, DecodedEntry decoded) {
  const std::string shown = JoinPath(planned.path);
  std::optional<Verdict> verdict;
  const bool needs_password = decoded.status == DecodedEntry::kNeedsPassword;
  if (rules_.LooksFirst() || (needs_password && ProbeTarget(planned).exists)) {
    verdict = rules_.Judge(planned.entry, shown, ProbeTarget(planned));
    if (verdict->kind != Verdict::kWrite) return ActWithoutWriting(planned.entry, *verdict);
  }
  if (needs_password) decoded = DecodeHere(planned);
  if (decoded.status != DecodedEntry::kOk) return Failed(planned, decoded);
  return LinkAsJudged(planned, *decoded.file, verdict.value_or(Verdict{}));
}

bool Committer::LinkAsJudged(const PlannedEntry& planned, OutputFile& file, Verdict verdict) {
  const std::string shown = JoinPath(planned.path);
  const auto link = [&] {
    return RetryingWithDescriptorsFreed([&] { return file.Link(verdict.replace); });
  };
  IoResult linked = link();
  if (linked.status == IoResult::kExists) {
    verdict = rules_.Judge(planned.entry, shown, ProbeTarget(planned));
    if (verdict.kind != Verdict::kWrite) return ActWithoutWriting(planned.entry, verdict);
    linked = link();
  }
  if (!linked.ok()) return Failed(planned, FromIo(linked));
  // Only an entry of a shared name can find this file under its own.
  if (planned.shares_name) committed_.Add(file.identity());
  reporter_.EntryDone(planned.entry.method == 0 ? "extracting" : "inflating", planned.entry, shown);
  ++tally_.files;
  return true;
}

void Committer::RestoreDirectoryTimes() {
  for (const auto& [path, mtime] : directory_times_) {
    context_.target->SetDirectoryTime(path, mtime);
  }
}

}  // namespace nocunzip::unzip32
