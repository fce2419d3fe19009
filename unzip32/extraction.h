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
#pragma once

#include <cstdint>

#include "options.h"
#include "unzip32.h"

namespace nocunzip::unzip32 {

// Returns the result code of the run (UZ_OK, ...) and fills the totals of `callbacks`.
int32_t RunExtraction(const ExtractOptions& options, UzCallbackRecord& callbacks);

}  // namespace nocunzip::unzip32
