#include <time.h>

#include "read/local_time.h"

namespace nocunzip::unzip32 {

CalendarTime LocalCalendarTime(int64_t seconds_since_1970) {
  const time_t moment = static_cast<time_t>(seconds_since_1970);
  struct tm parts {};
  CalendarTime result;
  if (localtime_r(&moment, &parts) == nullptr) return result;
  result.year = parts.tm_year + 1900;
  result.month = parts.tm_mon + 1;
  result.day = parts.tm_mday;
  result.hour = parts.tm_hour;
  result.minute = parts.tm_min;
  return result;
}

int64_t DosTimeToSeconds(uint16_t dos_date, uint16_t dos_time) {
  struct tm parts {};
  parts.tm_year = 80 + (dos_date >> 9);
  parts.tm_mon = ((dos_date >> 5) & 0xF) - 1;
  parts.tm_mday = dos_date & 0x1F;
  parts.tm_hour = dos_time >> 11;
  parts.tm_min = (dos_time >> 5) & 0x3F;
  parts.tm_sec = 2 * (dos_time & 0x1F);
  parts.tm_isdst = -1;
  const time_t moment = mktime(&parts);
  return moment == static_cast<time_t>(-1) ? 0 : static_cast<int64_t>(moment);
}

}  // namespace nocunzip::unzip32
