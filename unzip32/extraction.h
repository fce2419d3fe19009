// One run of the library: opens and checks the archive, then lists, tests or extracts the
// selected entries, calling back as it goes.
//
// Each entry passes three steps. Deciding (what to do with it, the callbacks and
// questions, opening it with its password) and reporting (the printed lines and the
// result) happen on the calling thread, in entry order; decoding and writing touch no
// callback and keep their state in the entry's plan, so independent entries could be
// decoded on other threads in between.
#pragma once

#include <cstdint>

#include "options.h"
#include "unzip32.h"

namespace nocunzip::unzip32 {

// Returns the result code of the run (UZ_OK, ...) and fills the totals of `callbacks`.
int32_t RunExtraction(const ExtractOptions& options, UzCallbackRecord& callbacks);

}  // namespace nocunzip::unzip32
