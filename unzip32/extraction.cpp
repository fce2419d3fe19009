#include "extraction.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "read/archive_file.h"
#include "read/archive_scan.h"
#include "read/central_directory.h"
#include "decrypt/cipher.h"
#include "methods/decoder.h"
#include "read/end_records.h"
#include "workers/entry_decoder.h"
#include "plan/entry_path.h"
#include "workers/inflate_ahead.h"
#include "read/local_header.h"
#include "read/local_time.h"
#include "commit/output.h"
#include "decrypt/password.h"
#include "report/report.h"
#include "plan/seen_names.h"

namespace nocunzip::unzip32 {
namespace {

uint32_t Clamp32(uint64_t value) {
  return static_cast<uint32_t>(std::min<uint64_t>(value, 0xFFFFFFFF));
}

// Where decoded data goes.
class NullSink : public ByteSink {
 public:
  IoResult Write(const unsigned char*, size_t) override { return IoResult::Ok(); }
  bool WritesOffThread() const override { return true; }
};

class FileSink : public ByteSink {
 public:
  FileSink(OutputFile& file, const std::string& archive) : file_(file), archive_(archive) {}
  IoResult Write(const unsigned char* data, size_t size) override {
    return file_.Write(data, size);
  }
  bool WritesOffThread() const override { return true; }
  bool CopiesRanges() const override { return file_.CanCopyFrom(); }
  IoResult CopyRange(uint64_t offset, uint64_t length) override {
    return file_.CopyFrom(archive_, offset, length);
  }

 private:
  OutputFile& file_;
  const std::string& archive_;
};

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

// Turns LF into CR LF in text entries. An entry counts as text when the archive marks it
// so or, unmarked, when its first bytes hold no zero byte.
class LineEndSink : public ByteSink {
 public:
  LineEndSink(ByteSink& next, bool marked_text) : next_(next), text_(marked_text) {}
  bool WritesOffThread() const override { return next_.WritesOffThread(); }

  IoResult Write(const unsigned char* data, size_t size) override {
    if (!decided_ && size > 0) {
      decided_ = true;
      if (!text_) text_ = std::memchr(data, 0, std::min<size_t>(size, 4096)) == nullptr;
    }
    if (!text_) return next_.Write(data, size);
    converted_.clear();
    for (size_t i = 0; i < size; ++i) {
      if (data[i] == '\n' && last_ != '\r') converted_.push_back('\r');
      converted_.push_back(data[i]);
      last_ = data[i];
    }
    return next_.Write(converted_.data(), converted_.size());
  }

 private:
  ByteSink& next_;
  bool text_;
  bool decided_ = false;
  unsigned char last_ = 0;
  std::vector<unsigned char> converted_;
};

// What was decided for one entry on the calling thread.
struct EntryPlan {
  enum Action { kSkip, kMakeDirectory, kWriteFile, kTest, kPrint };
  Action action = kSkip;
  Entry entry;
  EntryData data;  // where its data lie
  RelativePath path;
  bool replace = false;
  std::unique_ptr<Cipher> cipher;  // started with the password that fits, for encrypted entries
};

// What decoding and writing gave.
struct EntryOutcome {
  int32_t code = UZ_OK;
  bool disk_full = false;  // nothing more can be written: the run ends
  std::string message;
};

int32_t Worse(int32_t a, int32_t b) { return std::max(a, b); }

class Extraction {
 public:
  Extraction(const ExtractOptions& options, UzCallbackRecord& callbacks)
      : options_(options),
        callbacks_(callbacks),
        reporter_(callbacks, options.message_level, options.verbose) {}

  int32_t Run();

 private:
  // Opens the archive and reads its directory once; the result code when that fails.
  int32_t Open();
  // Counts what the first pass saw of one entry.
  void Tally(const Entry& entry);
  // Whether the first pass selected `entry`. An entry it never saw (the file changed since)
  // is not.
  bool Wanted(const Entry& entry) const {
    return entry.index < wanted_.size() && wanted_[entry.index];
  }
  void FillTotals();
  void ShowComment();
  // Describes `entry` to the caller; false, said as "`activity` stopped by the caller", when
  // the caller wants the run to end.
  bool Announce(const Entry& entry, const char* activity);
  int32_t List();
  int32_t ExtractAll();
  // Decides what to do with one entry; sets `stop` when the run must end here.
  EntryPlan Decide(Entry entry, const EntryData& data, int32_t* code, bool* stop);
  // Whether `plan` may write its file; otherwise says why (with the code) and skips it.
  bool MayWrite(EntryPlan& plan, int32_t* code, bool* stop);
  // Finds the password of an encrypted entry; false when it cannot be read.
  bool Unlock(EntryPlan& plan, int32_t* code);
  EntryOutcome Carry(EntryPlan& plan);
  EntryOutcome WriteFile(EntryPlan& plan);
  // Decodes the entry of `plan` into `sink`, taking what was inflated ahead when it can.
  DecodeResult Decode(const EntryPlan& plan, ByteSink& sink);
  void Report(const EntryPlan& plan, const EntryOutcome& outcome);
  void PrintSummary(int32_t code);
  void Skip(const Entry& entry, const std::string& why, int32_t* code) {
    reporter_.EntryWarning(entry.name, why);
    *code = UZ_WARNING;
    ++skipped_;
  }
  void Fail(const Entry& entry, const std::string& why, int32_t code, int32_t* result) {
    reporter_.EntryError(entry.name, why);
    *result = code;
    ++failed_;
  }

  const ExtractOptions& options_;
  UzCallbackRecord& callbacks_;
  Reporter reporter_;
  std::unique_ptr<ArchiveFile> file_;
  ArchiveEnd end_;
  std::unique_ptr<TargetDirectory> target_;
  std::unique_ptr<EntryUnlocker> unlocker_;
  DecodeBuffers buffers_;
  std::vector<bool> wanted_;    // the entries selected, by index
  uint64_t largest_ahead_ = 0;  // the largest entry that is inflated ahead
  std::unique_ptr<InflateAhead> ahead_;
  SeenNames written_;  // the files written by this run
  std::vector<std::pair<RelativePath, int64_t>> directory_times_;

  uint64_t entries_ = 0;  // in the directory
  uint64_t selected_ = 0;
  uint64_t compressed_ = 0;
  uint64_t uncompressed_ = 0;
  uint64_t done_files_ = 0;
  uint64_t done_directories_ = 0;
  uint64_t skipped_ = 0;
  uint64_t failed_ = 0;
};

void Extraction::Tally(const Entry& entry) {
  ++entries_;
  const bool selected = IsSelected(options_, entry.name);
  wanted_.push_back(selected);
  if (!selected) return;
  ++selected_;
  compressed_ += entry.compressed_size;
  uncompressed_ += entry.uncompressed_size;
  if (InflatesAhead(entry)) largest_ahead_ = std::max(largest_ahead_, entry.uncompressed_size);
}

void Extraction::FillTotals() {
  callbacks_.TotalCompressedSize = Clamp32(compressed_);
  callbacks_.TotalUncompressedSize = Clamp32(uncompressed_);
  callbacks_.CompressionFactor = SavedPerMille(uncompressed_, compressed_);
  callbacks_.NumberOfMembers = Clamp32(selected_);
  callbacks_.CommentLength = static_cast<uint16_t>(std::min<size_t>(end_.comment.size(), 0xFFFF));
}

int32_t Extraction::Open() {
  const std::string& archive = options_.archive;
  if (archive.empty()) {
    reporter_.ArchiveError("(no archive)", "no archive name was given");
    return UZ_ERR_ARCHIVE;
  }
  std::string error;
  file_ = ArchiveFile::Open(archive, &error);
  if (file_ == nullptr) {
    reporter_.ArchiveError(archive, "cannot open the archive: " + error);
    return UZ_ERR_ARCHIVE;
  }
  end_ = FindArchiveEnd(*file_);
  if (end_.problem != EndProblem::kNone) {
    const bool empty = end_.problem == EndProblem::kEmptyFile;
    reporter_.ArchiveError(archive, (empty ? "not a ZIP archive: " : "") + end_.message);
    if (end_.problem == EndProblem::kAmbiguous) return UZ_ERR_ENTRY;
    return end_.problem == EndProblem::kEncrypted ? UZ_ERR_UNSUPPORTED : UZ_ERR_ARCHIVE;
  }
  wanted_.reserve(static_cast<size_t>(std::min<uint64_t>(end_.entry_count, 1u << 16)));
  const ScanResult scan = ScanArchive(*file_, end_, [this](const Entry& entry) { Tally(entry); });
  if (!scan.ok()) {
    reporter_.ArchiveError(archive, scan.message);
    return scan.problem == ScanResult::kAmbiguous ? UZ_ERR_ENTRY : UZ_ERR_ARCHIVE;
  }
  FillTotals();
  return UZ_OK;
}

void Extraction::ShowComment() {
  if (!options_.display_comment || end_.comment.empty()) return;
  std::string text = end_.comment;
  if (text.back() != '\n') text += '\n';
  reporter_.Print(text);
}

bool Extraction::Announce(const Entry& entry, const char* activity) {
  reporter_.Describe(entry);
  if (reporter_.MayContinue(entry)) return true;
  reporter_.EntryWarning(entry.name, std::string(activity) + " stopped by the caller");
  return false;
}

int32_t Extraction::List() {
  const bool verbose = options_.verbose;
  reporter_.Print(verbose ? " Length   Method    Size  Saved   Date       Time   CRC-32    Name\n"
                          : "    Length  Date       Time   Name\n");
  uint64_t total = 0;
  uint64_t count = 0;
  char line[128];
  CentralDirectory directory(*file_, end_);
  Entry entry;
  std::string problem;
  while (directory.Next(&entry, &problem) == CentralDirectory::Step::kEntry) {
    if (!Wanted(entry)) continue;
    if (!Announce(entry, "listing")) return UZ_ERR_STOPPED;
    const CalendarTime when = LocalCalendarTime(entry.mtime);
    if (verbose) {
      snprintf(line, sizeof line, "%10llu  %-7s %10llu  %3u%%  %04d-%02d-%02d %02d:%02d  %08x  ",
               static_cast<unsigned long long>(entry.uncompressed_size),
               MethodName(entry.method).c_str(),
               static_cast<unsigned long long>(entry.compressed_size),
               SavedPerMille(entry.uncompressed_size, entry.compressed_size) / 10, when.year,
               when.month, when.day, when.hour, when.minute, entry.crc);
    } else {
      snprintf(line, sizeof line, "%10llu  %04d-%02d-%02d %02d:%02d  ",
               static_cast<unsigned long long>(entry.uncompressed_size), when.year, when.month,
               when.day, when.hour, when.minute);
    }
    reporter_.Print(std::string(line) + entry.name + "\n");
    total += entry.uncompressed_size;
    ++count;
  }
  snprintf(line, sizeof line, "%10llu  %llu %s\n", static_cast<unsigned long long>(total),
           static_cast<unsigned long long>(count), count == 1 ? "entry" : "entries");
  reporter_.Print(line);
  return UZ_OK;
}

bool Extraction::MayWrite(EntryPlan& plan, int32_t* code, bool* stop) {
  const Entry& entry = plan.entry;
  const ExistingFile existing = target_->Probe(plan.path);
  const std::string shown = JoinPath(plan.path);
  if (existing.exists && existing.is_directory) {
    Fail(entry, "cannot write " + shown + ": a directory of that name exists", UZ_ERR_WRITE, code);
    return false;
  }
  // An earlier entry of this archive may have written the file: say so in the message.
  const bool twin = existing.exists && written_.MayContain(shown);
  const std::string kept = twin ? "two entries are named " + shown + "; the first one was kept"
                                : shown + " exists and was not replaced";
  if (options_.extract_only_newer || options_.extract_newer) {
    if (!existing.exists && options_.extract_only_newer) {
      reporter_.EntryDone("skipped (not on disk)", entry, shown);
      return false;
    }
    if (existing.exists && existing.mtime >= entry.mtime) {
      reporter_.EntryDone("skipped (up to date)", entry, shown);
      return false;
    }
    plan.replace = existing.exists;
    return true;
  }
  if (!existing.exists) return true;
  if (options_.overwrite) {
    plan.replace = true;
    return true;
  }
  if (!options_.prompt_overwrite) {
    Skip(entry, kept, code);
    return false;
  }
  const int32_t answer = reporter_.AskReplace(shown);
  if (answer == UZ_REPLACE_CANCEL) {
    reporter_.EntryWarning(entry.name, "extraction cancelled at the question to replace " + shown);
    *code = UZ_ERR_STOPPED;
    *stop = true;
    return false;
  }
  if (answer != UZ_REPLACE_YES) {
    Skip(entry, kept, code);
    return false;
  }
  plan.replace = true;
  return true;
}

bool Extraction::Unlock(EntryPlan& plan, int32_t* code) {
  UnlockedEntry unlocked = unlocker_->Unlock(*file_, plan.data.offset, plan.entry);
  if (unlocked.status == UnlockedEntry::kOk) {
    plan.cipher = std::move(unlocked.cipher);
    return true;
  }
  Fail(plan.entry, unlocked.message,
       unlocked.status == UnlockedEntry::kNoPassword    ? UZ_ERR_PASSWORD
       : unlocked.status == UnlockedEntry::kUnsupported ? UZ_ERR_UNSUPPORTED
                                                        : UZ_ERR_ENTRY,
       code);
  return false;
}

EntryPlan Extraction::Decide(Entry entry, const EntryData& data, int32_t* code, bool* stop) {
  EntryPlan plan;
  plan.entry = std::move(entry);
  plan.data = data;
  const Entry& e = plan.entry;
  *code = UZ_OK;
  *stop = false;

  const bool writes_files = !options_.test && !options_.write_to_stdout;
  if (e.is_link && writes_files) {
    Skip(e, "is a symbolic link; links are not made", code);
    return plan;
  }
  if (!e.is_directory && !IsMethodSupported(e.method)) {
    Fail(e, "compression method " + MethodName(e.method) + " is not supported", UZ_ERR_UNSUPPORTED,
         code);
    return plan;
  }
  if (writes_files) {
    PathRules rules;
    rules.honor_directories = options_.honor_directories;
    rules.space_to_underscore = options_.space_to_underscore;
    EntryPath path = MapEntryName(e.name, rules);
    if (path.problem == NameProblem::kTargetItself) return plan;  // the target exists already
    if (path.problem != NameProblem::kNone) {
      Fail(e, "refused: " + DescribeRefusal(path), UZ_ERR_ENTRY, code);
      return plan;
    }
    plan.path = std::move(path.components);
  }
  if (e.is_directory) {
    if (writes_files && options_.honor_directories && !plan.path.empty()) {
      plan.action = EntryPlan::kMakeDirectory;
    }
    return plan;
  }
  if (writes_files && !MayWrite(plan, code, stop)) return plan;
  if (!Unlock(plan, code)) return plan;
  plan.action = !writes_files ? (options_.test ? EntryPlan::kTest : EntryPlan::kPrint)
                              : EntryPlan::kWriteFile;
  return plan;
}

DecodeResult Extraction::Decode(const EntryPlan& plan, ByteSink& sink) {
  const unsigned char* bytes = nullptr;
  size_t size = 0;
  if (ahead_ != nullptr && plan.cipher == nullptr && InflatesAhead(plan.entry) &&
      ahead_->Take(plan.entry.index, &bytes, &size)) {
    const IoResult written = sink.Write(bytes, size);
    ahead_->Release();
    return WriteResult(written);
  }
  return DecodeEntry(*file_, plan.data.offset, plan.entry, plan.cipher.get(), sink, buffers_);
}

EntryOutcome FromDecode(const DecodeResult& result) {
  EntryOutcome outcome;
  if (result.ok()) return outcome;
  outcome.message = result.message;
  outcome.code = result.status == DecodeResult::kCorrupt ? UZ_ERR_ENTRY : UZ_ERR_WRITE;
  outcome.disk_full = result.status == DecodeResult::kDiskFull;
  return outcome;
}

EntryOutcome FromIo(const IoResult& result) {
  EntryOutcome outcome;
  if (result.ok()) return outcome;
  // A name the platform refuses is the entry's fault, not a failed write.
  outcome.code = result.status == IoResult::kRefused ? UZ_ERR_ENTRY : UZ_ERR_WRITE;
  outcome.disk_full = result.status == IoResult::kDiskFull;
  outcome.message = result.message;
  return outcome;
}

EntryOutcome Extraction::WriteFile(EntryPlan& plan) {
  IoResult created;
  std::unique_ptr<OutputFile> file = target_->CreateFile(plan.path, &created);
  if (file == nullptr) return FromIo(created);
  FileSink written(*file, options_.archive);
  LineEndSink converted(written, plan.entry.is_text);
  ByteSink& sink = options_.convert_line_ends ? static_cast<ByteSink&>(converted) : written;
  EntryOutcome outcome = FromDecode(Decode(plan, sink));
  if (outcome.code != UZ_OK) return outcome;
  FileAttributes attributes;
  attributes.mtime = plan.entry.mtime;
  attributes.restore_mode = options_.restore_permissions && plan.entry.has_unix_mode;
  attributes.mode = plan.entry.unix_mode & 0777;
  outcome = FromIo(file->Commit(attributes, plan.replace));
  if (outcome.code == UZ_OK) written_.Add(JoinPath(plan.path));
  return outcome;
}

EntryOutcome Extraction::Carry(EntryPlan& plan) {
  switch (plan.action) {
    case EntryPlan::kSkip:
      return {};
    case EntryPlan::kMakeDirectory:
      return FromIo(target_->MakeDirectory(plan.path));
    case EntryPlan::kTest: {
      NullSink sink;
      return FromDecode(Decode(plan, sink));
    }
    case EntryPlan::kPrint: {
      PrintSink print(reporter_);
      LineEndSink converted(print, plan.entry.is_text);
      ByteSink& sink = options_.convert_line_ends ? static_cast<ByteSink&>(converted) : print;
      return FromDecode(Decode(plan, sink));
    }
    case EntryPlan::kWriteFile:
      return WriteFile(plan);
  }
  return {};
}

void Extraction::Report(const EntryPlan& plan, const EntryOutcome& outcome) {
  if (outcome.code != UZ_OK) {
    std::string reason = outcome.message;
    if (plan.action == EntryPlan::kWriteFile) reason += "; nothing written";
    reporter_.EntryError(plan.entry.name, reason);
    ++failed_;
    return;
  }
  const std::string shown = JoinPath(plan.path);
  switch (plan.action) {
    case EntryPlan::kSkip:
      break;
    case EntryPlan::kMakeDirectory:
      directory_times_.emplace_back(plan.path, plan.entry.mtime);
      reporter_.EntryDone("creating", plan.entry, shown + "/");
      ++done_directories_;
      break;
    case EntryPlan::kTest:
      reporter_.EntryDone("testing OK", plan.entry, "");
      ++done_files_;
      break;
    case EntryPlan::kPrint:
      ++done_files_;
      break;
    case EntryPlan::kWriteFile:
      reporter_.EntryDone(plan.entry.method == 0 ? "extracting" : "inflating", plan.entry, shown);
      ++done_files_;
      break;
  }
}

// "1 file", "2 files".
std::string Count(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

void Extraction::PrintSummary(int32_t code) {
  std::string text = options_.archive + ": ";
  if (options_.test) {
    text += failed_ == 0 ? "no errors in " + Count(done_files_, "tested entry", "tested entries")
                         : Count(failed_, "entry", "entries") + " failed the test, " +
                               std::to_string(done_files_) + " passed";
  } else {
    text += Count(done_files_, "file", "files") + " extracted";
    if (done_directories_ > 0) {
      text += ", " + Count(done_directories_, "directory", "directories") + " created";
    }
    if (skipped_ > 0) text += ", " + std::to_string(skipped_) + " skipped";
    if (failed_ > 0) text += ", " + std::to_string(failed_) + " failed";
  }
  if (code == UZ_ERR_STOPPED) text += " (stopped)";
  reporter_.SummaryLine(text);
}

int32_t Extraction::ExtractAll() {
  unlocker_ = std::make_unique<EntryUnlocker>(reporter_);
  std::string error;
  if (std::unique_ptr<ArchiveFile> own = ArchiveFile::Open(options_.archive, &error)) {
    ahead_ = InflateAhead::Start(end_, wanted_, largest_ahead_, std::move(own));
  }
  int32_t result = UZ_OK;
  CentralDirectory directory(*file_, end_);
  WindowedReader window(*file_);
  Entry entry;
  std::string problem;
  while (directory.Next(&entry, &problem) == CentralDirectory::Step::kEntry) {
    if (!Wanted(entry)) continue;
    if (!Announce(entry, "extraction")) {
      result = UZ_ERR_STOPPED;
      break;
    }
    int32_t code = UZ_OK;
    EntryData data;
    if (!FindEntryData(window, entry, end_.directory_offset, &data, &problem)) {
      Fail(entry, problem, UZ_ERR_ENTRY, &code);
      result = Worse(result, code);
      continue;
    }
    bool stop = false;
    EntryPlan plan = Decide(std::move(entry), data, &code, &stop);
    result = Worse(result, code);
    if (stop) {
      result = code;
      break;
    }
    const EntryOutcome outcome = Carry(plan);
    Report(plan, outcome);
    result = Worse(result, outcome.code);
    if (outcome.disk_full) {
      reporter_.ArchiveError(options_.archive, "the disk is full; extraction stopped");
      break;
    }
  }
  for (const auto& [path, mtime] : directory_times_) target_->SetDirectoryTime(path, mtime);
  return result;
}

int32_t Extraction::Run() {
  if (const int32_t opened = Open(); opened != UZ_OK) return opened;
  ShowComment();
  if (selected_ == 0) {
    reporter_.ArchiveError(options_.archive, entries_ == 0 ? "the archive holds no entries"
                                                           : "no entry matches the given names");
    return UZ_ERR_NO_MATCH;
  }
  if (options_.list) return List();
  if (!options_.test && !options_.write_to_stdout) {
    IoResult opened;
    target_ = TargetDirectory::Open(options_.target, &opened);
    if (target_ == nullptr) {
      reporter_.ArchiveError(options_.target.empty() ? "." : options_.target, opened.message);
      return UZ_ERR_WRITE;
    }
  }
  const int32_t result = ExtractAll();
  PrintSummary(result);
  return result;
}

}  // namespace

int32_t RunExtraction(const ExtractOptions& options, UzCallbackRecord& callbacks) {
  Extraction extraction(options, callbacks);
  return extraction.Run();
}

}  // namespace nocunzip::unzip32
