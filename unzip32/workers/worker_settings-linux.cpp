#include <sched.h>
#include <stdlib.h>

#include <thread>

#include "workers/worker_settings.h"

namespace nocunzip::unzip32 {

unsigned UsableCores() {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    return static_cast<unsigned>(CPU_COUNT(&allowed));
  }
  return std::thread::hardware_concurrency();
}

std::string WorkersVariable() {
  const char* text = getenv("UNZIP32_WORKERS");
  return text != nullptr ? text : "";
}

}  // namespace nocunzip::unzip32
