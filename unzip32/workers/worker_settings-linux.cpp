#include <sched.h>
#include <stdlib.h>
#include <sys/resource.h>

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

// The soft limit, which is what open() meets.
uint64_t OpenFileLimit() {
  struct rlimit limit {};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
    return UINT64_MAX;
  }
  return static_cast<uint64_t>(limit.rlim_cur);
}

}  // namespace nocunzip::unzip32
