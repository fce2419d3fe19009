#include <time.h>

#include "local_time.h"

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

}  // namespace nocunzip::unzip32
