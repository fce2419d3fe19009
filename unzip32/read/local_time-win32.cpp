#include <windows.h>

#include "read/local_time.h"

namespace nocunzip::unzip32 {

CalendarTime LocalCalendarTime(int64_t seconds_since_1970) {
  CalendarTime result;
  // FILETIME counts 100-nanosecond steps since 1601.
  if (seconds_since_1970 < -kSecondsFrom1601To1970) return result;
  const uint64_t ticks =
      static_cast<uint64_t>(seconds_since_1970 + kSecondsFrom1601To1970) * 10000000u;
  FILETIME utc_file;
  utc_file.dwLowDateTime = static_cast<DWORD>(ticks);
  utc_file.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  SYSTEMTIME utc, local;
  if (!FileTimeToSystemTime(&utc_file, &utc)) return result;
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return result;
  result.year = local.wYear;
  result.month = local.wMonth;
  result.day = local.wDay;
  result.hour = local.wHour;
  result.minute = local.wMinute;
  return result;
}

int64_t DosTimeToSeconds(uint16_t dos_date, uint16_t dos_time) {
  // Through SYSTEMTIME, so that the summer time of that day counts, not of today.
  FILETIME local_file, utc_file;
  SYSTEMTIME local, utc;
  if (!DosDateTimeToFileTime(dos_date, dos_time, &local_file) ||
      !FileTimeToSystemTime(&local_file, &local) ||
      !TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc) ||
      !SystemTimeToFileTime(&utc, &utc_file)) {
    return 0;
  }
  const uint64_t ticks =
      (static_cast<uint64_t>(utc_file.dwHighDateTime) << 32) | utc_file.dwLowDateTime;
  return static_cast<int64_t>(ticks / 10000000u) - kSecondsFrom1601To1970;
}

}  // namespace nocunzip::unzip32
