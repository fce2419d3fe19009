// The unpack job: checks the caller, probes the archive, unpacks it and reports the outcome
// in the result files NocUnzip.err and NocUnzip.end of the main program's directory.
#pragma once

#include <string>

namespace nocunzip {

// How a job ended; the value is also the program's exit status.
enum class JobOutcome { Extracted = 0, Refused = 1, ArchiveMissing = 2, ExtractionFailed = 3 };

// Runs the job for the command line's argument text "ARCHIVE;TARGET;TOKEN". Errors of the
// unzip binding and of writing a result file are not caught.
JobOutcome RunUnpackJob(const std::wstring& argument_text);

}  // namespace nocunzip
