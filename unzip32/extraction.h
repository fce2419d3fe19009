// One run of the library: the first pass opens and checks the archive; then the selected
// entries are listed, or go through the pipeline:
//
//   plan (calling thread)  ->  decode (workers)  ->  commit (calling thread, entry order)
//
// The plan (plan/planner.h) reads the directory and decides what becomes of each entry; the
// workers (workers/decode_pool.h) decode entries ahead into unnamed files; the commit
// (commit/committer.h) makes every callback, question and printed line in entry order,
// whatever the workers do, and gives each file its name. Every read goes through the one
// handle of the archive that the first pass opened.
//
// One entry's journey, in the order of the calls (C: the calling thread, W: a worker):
//
//   1. C  Wiz_SingleEntryUnzip (unzip32.cpp) reads the caller's records into ExtractOptions
//         (options.cpp) and calls RunExtraction (extraction.cpp).
//   2. C  SurveyArchive (plan/first_pass.cpp) opens the archive, its one handle for the whole
//         run (read/archive_file.h), and FindArchiveEnd chooses its end records
//         (read/end_records.h).
//   3. C  ScanArchive (read/archive_scan.h) reads every entry once and walks the directory
//         again for each check that memory cannot hold at once (listed there); the first
//         pass selects the entries that the name lists want (IsSelected, options.h).
//   4. C  ListEntries (report/listing.cpp) for a listing, and the run ends. Otherwise
//         TargetDirectory::Open (commit/output.h) opens the target.
//   5. C  Planner::Next (plan/planner.cpp) reads the entry from the directory again and its
//         local header, maps its name to a path below the target (plan/entry_path.h) and
//         decides what becomes of it: a PlannedEntry.
//   6. C  Pipeline::PlanAhead submits it to DecodePool (workers/decode_pool.cpp), while the
//         bounds of work decoded ahead allow.
//   7. W  RunEntryJob (workers/entry_job.cpp) tries the password held (decrypt/password.h),
//         creates the unnamed file (TargetDirectory::CreateFile) and calls DecodeEntry
//         (workers/entry_decoder.cpp), which picks a way of decoding (workers/decode_ways.h)
//         and the method's decoder (methods/decoder.h); the file gets its time and mode.
//   8. C  Pipeline::Fetch waits for the oldest entry (DecodePool::WaitOldest), and
//         Committer::Commit (commit/committer.cpp) tells the caller of it (MessageCallback,
//         ServiceCallback), asks what is left to ask (EntryUnlocker, ReplaceRules), links the
//         file under its name (OutputFile::Link) and prints its line (report/report.h).
//   9. C  After the last entry: Committer::RestoreDirectoryTimes, the archive's size checked
//         once more, and PrintSummary (report/run_tally.h).
//
// The way folds back in two places:
//   - An encrypted entry that a worker failed under an older password than the one held
//     now is decoded again on the calling thread (Pipeline::Fetch, DecodePool::RunHere),
//     where the password can be asked for, as with one worker.
//   - Every kSizeCheckInterval entries, and at the end, the plan checks that the archive
//     kept its size (CheckArchiveSize); one that changed stops the run.
#pragma once

#include <cstdint>

#include "options.h"
#include "unzip32.h"

namespace nocunzip::unzip32 {

// Returns the result code of the run (UZ_OK, ...) and fills the totals of `callbacks`.
int32_t RunExtraction(const ExtractOptions& options, UzCallbackRecord& callbacks);

}  // namespace nocunzip::unzip32
