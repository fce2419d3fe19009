#include "extraction.h"

#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive_layout.h"
#include "archive_source.h"
#include "directory_slices.h"
#include "entry_decoder.h"
#include "entry_path.h"
#include "inflate_ahead.h"
#include "little_endian.h"
#include "local_time.h"
#include "output.h"
#include "password.h"
#include "report.h"

namespace nocunzip::unzip32 {
namespace {

constexpr uint16_t kExtendedTimestampId = 0x5455;
constexpr uint8_t kSystemUnix = 3;
constexpr uint8_t kSystemDarwin = 19;
constexpr uint32_t kFileTypeMask = 0170000;
constexpr uint32_t kFileTypeLink = 0120000;
constexpr uint32_t kFileTypeDirectory = 0040000;

uint32_t Clamp32(uint64_t value) {
  return static_cast<uint32_t>(std::min<uint64_t>(value, 0xFFFFFFFF));
}

// The modification time from an extended timestamp field, if the entry carries one: it
// is exact and in UTC, where the DOS time libzip reads is local and has 2-second steps.
// Only the central directory's copy is read, which costs no read of the file.
std::optional<int64_t> ExtendedTimestamp(zip_t* archive, zip_uint64_t index) {
  zip_uint16_t length = 0;
  const zip_uint8_t* data = zip_file_extra_field_get_by_id(archive, index, kExtendedTimestampId, 0,
                                                           &length, ZIP_FL_CENTRAL);
  if (data == nullptr) {
    zip_error_clear(archive);
    return std::nullopt;
  }
  if (length < 5 || (data[0] & 1) == 0) return std::nullopt;
  return static_cast<int64_t>(static_cast<int32_t>(Get32(data + 1)));
}

// What libzip says of entry `in_slice` of `archive`, which is entry `index` of the whole
// archive. False when libzip cannot say, or says other sizes than the central directory
// record that the layout check read: then libzip did not read the record meant.
bool ReadFacts(zip_t* archive, zip_uint64_t in_slice, uint64_t index, const CentralEntry& central,
               Entry* facts) {
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive, in_slice, 0, &st) < 0 || (st.valid & ZIP_STAT_NAME) == 0) {
    zip_error_clear(archive);
    return false;
  }
  if (((st.valid & ZIP_STAT_SIZE) && st.size != central.uncompressed_size) ||
      ((st.valid & ZIP_STAT_COMP_SIZE) && st.comp_size != central.compressed_size)) {
    return false;
  }
  facts->index = index;
  facts->name = st.name;
  facts->uncompressed_size = (st.valid & ZIP_STAT_SIZE) ? st.size : central.uncompressed_size;
  facts->compressed_size = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : central.compressed_size;
  facts->crc = (st.valid & ZIP_STAT_CRC) ? st.crc : 0;
  facts->method = (st.valid & ZIP_STAT_COMP_METHOD) ? st.comp_method : central.method;
  facts->flags = central.flags;
  const uint16_t encryption =
      (st.valid & ZIP_STAT_ENCRYPTION_METHOD) ? st.encryption_method : ZIP_EM_NONE;
  const bool aes =
      encryption == ZIP_EM_AES_128 || encryption == ZIP_EM_AES_192 || encryption == ZIP_EM_AES_256;
  facts->encryption = encryption == ZIP_EM_NONE          ? Encryption::kNone
                      : encryption == ZIP_EM_TRAD_PKWARE ? Encryption::kTraditional
                      : aes                              ? Encryption::kAes
                                                         : Encryption::kUnsupported;
  facts->aes_key_bits = encryption == ZIP_EM_AES_128   ? 128
                        : encryption == ZIP_EM_AES_192 ? 192
                                                       : 256;
  facts->crc_known = (st.valid & ZIP_STAT_CRC) != 0 && !(aes && facts->crc == 0);
  facts->is_text = (central.internal_attributes & 1) != 0;
  facts->mtime = static_cast<int64_t>((st.valid & ZIP_STAT_MTIME) ? st.mtime : 0);
  if (auto exact = ExtendedTimestamp(archive, in_slice)) facts->mtime = *exact;
  const char last = facts->name.empty() ? '\0' : facts->name.back();
  facts->is_directory = last == '/' || last == '\\';
  if (central.made_by_system == kSystemUnix || central.made_by_system == kSystemDarwin) {
    const uint32_t mode = central.external_attributes >> 16;
    if (mode != 0) {
      facts->has_unix_mode = true;
      facts->unix_mode = mode & 07777;
      facts->is_link = (mode & kFileTypeMask) == kFileTypeLink;
      if ((mode & kFileTypeMask) == kFileTypeDirectory) facts->is_directory = true;
    }
  }
  return true;
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
  Entry facts;
  RelativePath path;
  bool replace = false;
  std::unique_ptr<Cipher> cipher;  // started with its password, for encrypted entries
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
  // Reads the facts of entry `index` through `slices`; whether the entry is to be handled.
  bool Selected(DirectorySlices& slices, uint64_t index, Entry* facts);
  // Goes through the whole directory, with libzip comparing every local header to its
  // record, and fills the totals of the callback record. False, with libzip's reason in
  // `error`, when libzip cannot read some part of the directory.
  bool FillTotals(std::string* error);
  int32_t List();
  // Decides what to do with one entry; sets `stop` when the run must end here.
  EntryPlan Decide(Entry facts, int32_t* code, bool* stop);
  EntryOutcome Carry(EntryPlan& plan);
  // Decodes the entry of `plan` into `sink`, taking what was inflated ahead when it can.
  DecodeResult Decode(const EntryPlan& plan, ByteSink& sink);
  void Report(const EntryPlan& plan, const EntryOutcome& outcome);
  void PrintSummary(int32_t code);

  const ExtractOptions& options_;
  UzCallbackRecord& callbacks_;
  Reporter reporter_;
  // Read by the layout check and, through the directory slices, by libzip.
  std::unique_ptr<ArchiveSource> source_;
  // A handle of its own on the archive file, for the entries read without libzip.
  std::unique_ptr<ArchiveSource> raw_source_;
  ArchiveLayout layout_;
  std::unique_ptr<DirectorySlices> slices_;
  std::unique_ptr<TargetDirectory> target_;
  std::unique_ptr<EntryUnlocker> unlocker_;
  DecodeBuffers buffers_;
  std::vector<bool> wanted_;  // the entries selected, by index
  std::unique_ptr<InflateAhead> ahead_;
  std::vector<std::pair<RelativePath, int64_t>> directory_times_;

  uint64_t selected_ = 0;
  uint64_t done_files_ = 0;
  uint64_t done_directories_ = 0;
  uint64_t skipped_ = 0;
  uint64_t failed_ = 0;
};

bool Extraction::Selected(DirectorySlices& slices, uint64_t index, Entry* facts) {
  zip_uint64_t in_slice = 0;
  std::string error;
  zip_t* archive = slices.Holding(index, &in_slice, &error);
  if (archive == nullptr || !ReadFacts(archive, in_slice, index, layout_.entries[index], facts)) {
    facts->index = UINT64_MAX;
    facts->name = "entry " + std::to_string(index + 1);
    return true;  // reported as damaged when its turn comes
  }
  return IsSelected(options_, facts->name);
}

bool Extraction::FillTotals(std::string* error) {
  uint64_t compressed = 0;
  uint64_t uncompressed = 0;
  DirectorySlices slices(*source_, layout_, true);
  for (uint64_t i = 0; i < layout_.entries.size(); ++i) {
    zip_uint64_t in_slice = 0;
    if (i % kEntriesPerSlice == 0 && slices.Holding(i, &in_slice, error) == nullptr) return false;
    Entry facts;
    const bool selected = Selected(slices, i, &facts);
    wanted_.push_back(selected);
    if (!selected) continue;
    ++selected_;
    compressed += facts.compressed_size;
    uncompressed += facts.uncompressed_size;
  }
  callbacks_.TotalCompressedSize = Clamp32(compressed);
  callbacks_.TotalUncompressedSize = Clamp32(uncompressed);
  callbacks_.CompressionFactor = SavedPerMille(uncompressed, compressed);
  callbacks_.NumberOfMembers = Clamp32(selected_);
  callbacks_.CommentLength =
      static_cast<uint16_t>(std::min<size_t>(layout_.comment.size(), 0xFFFF));
  return true;
}

int32_t Extraction::List() {
  const bool verbose = options_.verbose;
  reporter_.Print(verbose ? " Length   Method    Size  Saved   Date       Time   CRC-32    Name\n"
                          : "    Length  Date       Time   Name\n");
  uint64_t total = 0;
  uint64_t count = 0;
  char line[128];
  for (uint64_t i = 0; i < layout_.entries.size(); ++i) {
    Entry facts;
    if (!Selected(*slices_, i, &facts)) continue;
    reporter_.Describe(facts);
    if (!reporter_.MayContinue(facts)) {
      reporter_.EntryWarning(facts.name, "listing stopped by the caller");
      return UZ_ERR_STOPPED;
    }
    const CalendarTime when = LocalCalendarTime(facts.mtime);
    if (verbose) {
      snprintf(line, sizeof line, "%10llu  %-7s %10llu  %3u%%  %04d-%02d-%02d %02d:%02d  %08x  ",
               static_cast<unsigned long long>(facts.uncompressed_size),
               MethodName(facts.method).c_str(),
               static_cast<unsigned long long>(facts.compressed_size),
               SavedPerMille(facts.uncompressed_size, facts.compressed_size) / 10, when.year,
               when.month, when.day, when.hour, when.minute, facts.crc);
    } else {
      snprintf(line, sizeof line, "%10llu  %04d-%02d-%02d %02d:%02d  ",
               static_cast<unsigned long long>(facts.uncompressed_size), when.year, when.month,
               when.day, when.hour, when.minute);
    }
    reporter_.Print(std::string(line) + facts.name + "\n");
    total += facts.uncompressed_size;
    ++count;
  }
  snprintf(line, sizeof line, "%10llu  %llu %s\n", static_cast<unsigned long long>(total),
           static_cast<unsigned long long>(count), count == 1 ? "entry" : "entries");
  reporter_.Print(line);
  return UZ_OK;
}

EntryPlan Extraction::Decide(Entry facts, int32_t* code, bool* stop) {
  EntryPlan plan;
  plan.facts = std::move(facts);
  const Entry& f = plan.facts;
  const std::string& name = f.name;
  *code = UZ_OK;
  *stop = false;

  const bool writes_files = !options_.test && !options_.write_to_stdout;
  if (f.is_link && writes_files) {
    reporter_.EntryWarning(name, "is a symbolic link; links are not made");
    *code = UZ_WARNING;
    ++skipped_;
    return plan;
  }
  if (!IsMethodSupported(f.method)) {
    reporter_.EntryError(name, "compression method " + MethodName(f.method) + " is not supported");
    *code = UZ_ERR_UNSUPPORTED;
    ++failed_;
    return plan;
  }

  if (writes_files) {
    PathRules rules;
    rules.honor_directories = options_.honor_directories;
    rules.space_to_underscore = options_.space_to_underscore;
    EntryPath path = MapEntryName(name, rules);
    if (path.problem != NameProblem::kNone) {
      reporter_.EntryError(name, std::string("refused: ") + DescribeNameProblem(path.problem));
      *code = UZ_ERR_ENTRY;
      ++failed_;
      return plan;
    }
    plan.path = std::move(path.components);
  }
  if (f.is_directory) {
    if (writes_files && options_.honor_directories && !plan.path.empty()) {
      plan.action = EntryPlan::kMakeDirectory;
    }
    return plan;
  }
  if (!writes_files) {
    plan.action = options_.test ? EntryPlan::kTest : EntryPlan::kPrint;
  } else {
    const ExistingFile existing = target_->Probe(plan.path);
    const std::string shown = JoinPath(plan.path);
    if (existing.exists && existing.is_directory) {
      reporter_.EntryError(name, "cannot write " + shown + ": a directory of that name exists");
      *code = UZ_ERR_WRITE;
      ++failed_;
      return plan;
    }
    if (options_.extract_only_newer || options_.extract_newer) {
      if (!existing.exists && options_.extract_only_newer) {
        reporter_.EntryDone("skipped (not on disk)", f, shown);
        return plan;
      }
      if (existing.exists && existing.mtime >= f.mtime) {
        reporter_.EntryDone("skipped (up to date)", f, shown);
        return plan;
      }
      plan.replace = existing.exists;
    } else if (existing.exists) {
      if (options_.overwrite) {
        plan.replace = true;
      } else if (options_.prompt_overwrite) {
        const int32_t answer = reporter_.AskReplace(shown);
        if (answer == UZ_REPLACE_CANCEL) {
          reporter_.EntryWarning(name, "extraction cancelled at the question to replace " + shown);
          *code = UZ_ERR_STOPPED;
          *stop = true;
          return plan;
        }
        if (answer != UZ_REPLACE_YES) {
          reporter_.EntryWarning(name, shown + " exists and was not replaced");
          *code = UZ_WARNING;
          ++skipped_;
          return plan;
        }
        plan.replace = true;
      } else {
        reporter_.EntryWarning(name, shown + " exists and was not replaced");
        *code = UZ_WARNING;
        ++skipped_;
        return plan;
      }
    }
    plan.action = EntryPlan::kWriteFile;
  }

  if (f.encryption == Encryption::kNone) return plan;
  // The check byte of traditional encryption may come from the time, which libzip does not
  // give as stored: the local header's copy.
  const CentralEntry& central = layout_.entries[f.index];
  unsigned char time[2] = {};
  if (raw_source_->ReadAt(central.local_offset + 10, time, sizeof time)) {
    plan.facts.dos_time = Get16(time);
  }
  UnlockedEntry unlocked = unlocker_->Unlock(*raw_source_, central.data_offset, plan.facts);
  if (unlocked.status != UnlockedEntry::kOk) {
    reporter_.EntryError(name, unlocked.message);
    *code = unlocked.status == UnlockedEntry::kNoPassword    ? UZ_ERR_PASSWORD
            : unlocked.status == UnlockedEntry::kUnsupported ? UZ_ERR_UNSUPPORTED
                                                             : UZ_ERR_ENTRY;
    ++failed_;
    plan.action = EntryPlan::kSkip;
    return plan;
  }
  plan.cipher = std::move(unlocked.cipher);
  return plan;
}

DecodeResult Extraction::Decode(const EntryPlan& plan, ByteSink& sink) {
  const Entry& facts = plan.facts;
  if (ahead_ != nullptr && ChooseDecodeWay(facts) == DecodeWay::kWholeDeflate) {
    // Inflated and checked against the central directory, whose record must say what
    // libzip says.
    const CentralEntry& central = layout_.entries[facts.index];
    const unsigned char* bytes = nullptr;
    size_t size = 0;
    if (InflatesAhead(central) && central.crc == facts.crc && facts.crc_known &&
        central.uncompressed_size == facts.uncompressed_size &&
        central.compressed_size == facts.compressed_size &&
        ahead_->Take(facts.index, &bytes, &size)) {
      const IoResult written = sink.Write(bytes, size);
      ahead_->Release();
      return WriteResult(written);
    }
  }
  return DecodeEntry(*raw_source_, layout_.entries[facts.index].data_offset, facts,
                     plan.cipher.get(), sink, buffers_);
}

EntryOutcome Extraction::Carry(EntryPlan& plan) {
  EntryOutcome outcome;
  auto from_decode = [&outcome](const DecodeResult& result) {
    if (result.ok()) return;
    outcome.message = result.message;
    outcome.code = result.status == DecodeResult::kCorrupt ? UZ_ERR_ENTRY : UZ_ERR_WRITE;
    outcome.disk_full = result.status == DecodeResult::kDiskFull;
  };
  switch (plan.action) {
    case EntryPlan::kSkip:
      break;
    case EntryPlan::kMakeDirectory: {
      const IoResult made = target_->MakeDirectory(plan.path);
      if (!made.ok()) {
        outcome.code = UZ_ERR_WRITE;
        outcome.disk_full = made.status == IoResult::kDiskFull;
        outcome.message = made.message;
      }
      break;
    }
    case EntryPlan::kTest: {
      NullSink sink;
      from_decode(Decode(plan, sink));
      break;
    }
    case EntryPlan::kPrint: {
      PrintSink print(reporter_);
      LineEndSink converted(print, plan.facts.is_text);
      ByteSink& sink = options_.convert_line_ends ? static_cast<ByteSink&>(converted) : print;
      from_decode(Decode(plan, sink));
      break;
    }
    case EntryPlan::kWriteFile: {
      IoResult created;
      std::unique_ptr<OutputFile> file = target_->CreateFile(plan.path, &created);
      if (file == nullptr) {
        outcome.code = UZ_ERR_WRITE;
        outcome.disk_full = created.status == IoResult::kDiskFull;
        outcome.message = created.message;
        break;
      }
      FileSink written(*file, options_.archive);
      LineEndSink converted(written, plan.facts.is_text);
      ByteSink& sink = options_.convert_line_ends ? static_cast<ByteSink&>(converted) : written;
      from_decode(Decode(plan, sink));
      if (outcome.code == UZ_OK) {
        FileAttributes attributes;
        attributes.mtime = plan.facts.mtime;
        attributes.restore_mode = options_.restore_permissions && plan.facts.has_unix_mode;
        attributes.mode = plan.facts.unix_mode & 0777;
        const IoResult committed = file->Commit(attributes, plan.replace);
        if (!committed.ok()) {
          outcome.code = UZ_ERR_WRITE;
          outcome.disk_full = committed.status == IoResult::kDiskFull;
          outcome.message = committed.message;
        }
      }
      break;
    }
  }
  plan.cipher.reset();
  return outcome;
}

void Extraction::Report(const EntryPlan& plan, const EntryOutcome& outcome) {
  if (outcome.code != UZ_OK) {
    std::string reason = outcome.message;
    if (plan.action == EntryPlan::kWriteFile) reason += "; nothing written";
    reporter_.EntryError(plan.facts.name, reason);
    ++failed_;
    return;
  }
  const std::string shown = JoinPath(plan.path);
  switch (plan.action) {
    case EntryPlan::kSkip:
      break;
    case EntryPlan::kMakeDirectory:
      directory_times_.emplace_back(plan.path, plan.facts.mtime);
      reporter_.EntryDone("creating", plan.facts, shown + "/");
      ++done_directories_;
      break;
    case EntryPlan::kTest:
      reporter_.EntryDone("testing OK", plan.facts, "");
      ++done_files_;
      break;
    case EntryPlan::kPrint:
      ++done_files_;
      break;
    case EntryPlan::kWriteFile:
      reporter_.EntryDone(plan.facts.method == ZIP_CM_STORE ? "extracting" : "inflating",
                          plan.facts, shown);
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

int32_t Extraction::Run() {
  const std::string& archive = options_.archive;
  if (archive.empty()) {
    reporter_.ArchiveError("(no archive)", "no archive name was given");
    return UZ_ERR_ARCHIVE;
  }
  std::string error;
  source_ = ArchiveSource::Open(archive, &error);
  if (source_ == nullptr) {
    reporter_.ArchiveError(archive, "cannot open the archive: " + error);
    return UZ_ERR_ARCHIVE;
  }
  layout_ = CheckArchiveLayout(*source_);
  if (layout_.problem != LayoutProblem::kNone) {
    const std::string prefix =
        layout_.problem == LayoutProblem::kEmptyFile ? "not a ZIP archive: " : "";
    reporter_.ArchiveError(archive, prefix + layout_.message);
    return UZ_ERR_ARCHIVE;
  }
  raw_source_ = ArchiveSource::Open(archive, &error);
  if (raw_source_ == nullptr) {
    reporter_.ArchiveError(archive, "cannot open the archive: " + error);
    return UZ_ERR_ARCHIVE;
  }
  if (!FillTotals(&error)) {
    reporter_.ArchiveError(archive, "not a readable ZIP archive: " + error);
    return UZ_ERR_ARCHIVE;
  }
  // The local headers were compared once, above.
  slices_ = std::make_unique<DirectorySlices>(*source_, layout_, false);
  const uint64_t count = layout_.entries.size();

  if (options_.display_comment && !layout_.comment.empty()) {
    zip_uint64_t in_slice = 0;
    zip_t* first_slice = count > 0 ? slices_->Holding(0, &in_slice, &error) : nullptr;
    int length = 0;
    const char* comment =
        first_slice != nullptr ? zip_get_archive_comment(first_slice, &length, 0) : nullptr;
    std::string text =
        comment != nullptr ? std::string(comment, static_cast<size_t>(length)) : layout_.comment;
    if (!text.empty() && text.back() != '\n') text += '\n';
    reporter_.Print(text);
  }
  if (selected_ == 0) {
    reporter_.ArchiveError(
        archive, count == 0 ? "the archive holds no entries" : "no entry matches the given names");
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
  unlocker_ = std::make_unique<EntryUnlocker>(reporter_);
  if (std::unique_ptr<ArchiveSource> ahead_source = ArchiveSource::Open(archive, &error)) {
    ahead_ = InflateAhead::Start(layout_, wanted_, std::move(ahead_source));
  }

  int32_t result = UZ_OK;
  for (uint64_t i = 0; i < count; ++i) {
    Entry facts;
    if (!Selected(*slices_, i, &facts)) continue;
    if (facts.index != i) {
      reporter_.EntryError(facts.name, "its directory record cannot be read");
      result = Worse(result, UZ_ERR_ENTRY);
      ++failed_;
      continue;
    }
    reporter_.Describe(facts);
    if (!reporter_.MayContinue(facts)) {
      reporter_.EntryWarning(facts.name, "extraction stopped by the caller");
      result = UZ_ERR_STOPPED;
      break;
    }
    int32_t code = UZ_OK;
    bool stop = false;
    EntryPlan plan = Decide(std::move(facts), &code, &stop);
    result = Worse(result, code);
    if (stop) {
      result = code;
      break;
    }
    const EntryOutcome outcome = Carry(plan);
    Report(plan, outcome);
    result = Worse(result, outcome.code);
    if (outcome.disk_full) {
      reporter_.ArchiveError(archive, "the disk is full; extraction stopped");
      break;
    }
  }
  for (const auto& [path, mtime] : directory_times_) target_->SetDirectoryTime(path, mtime);
  PrintSummary(result);
  return result;
}

}  // namespace

int32_t RunExtraction(const ExtractOptions& options, UzCallbackRecord& callbacks) {
  Extraction extraction(options, callbacks);
  return extraction.Run();
}

}  // namespace nocunzip::unzip32
