// What decides the number of workers, read from the process: the cores it may run on
// (its affinity mask: taskset, a job object; else the machine's) and the environment
// variable UNZIP32_WORKERS (the process's own environment, which a caller's C runtime
// updates too). Implemented once per platform (worker_settings-linux.cpp,
// worker_settings-win32.cpp).
#pragma once

#include <string>

namespace nocunzip::unzip32 {

unsigned UsableCores();

// The text of UNZIP32_WORKERS; empty when it is not set.
std::string WorkersVariable();

}  // namespace nocunzip::unzip32
