// How many cores this process may run on: those of its affinity mask (taskset, a job
// object), else those of the machine. Implemented once per platform
// (usable_cores-linux.cpp, usable_cores-win32.cpp).
#pragma once

namespace nocunzip::unzip32 {

unsigned UsableCores();

}  // namespace nocunzip::unzip32
