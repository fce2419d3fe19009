#include <windows.h>

#include <bitset>
#include <thread>

#include "workers/usable_cores.h"

namespace nocunzip::unzip32 {

unsigned UsableCores() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
    return static_cast<unsigned>(std::bitset<sizeof(DWORD_PTR) * 8>(process).count());
  }
  return std::thread::hardware_concurrency();
}

}  // namespace nocunzip::unzip32
