// What decides the number of workers and how far they run ahead, read from the process:
// the cores it may run on (its affinity mask: taskset, a job object; else the machine's),
// the environment variable UNZIP32_WORKERS (the process's own environment, which a caller's
// C runtime updates too) and how many files it may have open. Implemented once per platform
// (worker_settings-linux.cpp, worker_settings-win32.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace nocunzip::unzip32 {

unsigned UsableCores();

// The text of UNZIP32_WORKERS; empty when it is not set.
std::string WorkersVariable();

// How many files (descriptors, handles) the process may have open at once.
uint64_t OpenFileLimit();

}  // namespace nocunzip::unzip32
