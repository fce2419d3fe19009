#include <sched.h>

#include <thread>

#include "workers/usable_cores.h"

namespace nocunzip::unzip32 {

unsigned UsableCores() {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    return static_cast<unsigned>(CPU_COUNT(&allowed));
  }
  return std::thread::hardware_concurrency();
}

}  // namespace nocunzip::unzip32
