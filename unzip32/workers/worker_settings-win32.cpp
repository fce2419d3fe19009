#include <windows.h>

#include <bitset>
#include <thread>

#include "workers/worker_settings.h"

namespace nocunzip::unzip32 {

unsigned UsableCores() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
    return static_cast<unsigned>(std::bitset<sizeof(DWORD_PTR) * 8>(process).count());
  }
  return std::thread::hardware_concurrency();
}

std::string WorkersVariable() {
  char text[32];
  const DWORD length = GetEnvironmentVariableA("UNZIP32_WORKERS", text, sizeof text);
  return length > 0 && length < sizeof text ? std::string(text, length) : std::string();
}

// Handles have no limit as small as descriptors on Linux (they are bounded by memory): a
// budget that lets the workers run ahead as far as the other bounds allow, and no further.
uint64_t OpenFileLimit() { return 4096; }

}  // namespace nocunzip::unzip32
