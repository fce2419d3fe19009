// The local calendar time of a moment, as the entry descriptions show it.
#pragma once

#include <cstdint>

namespace nocunzip::unzip32 {

struct CalendarTime {
  int year = 1980;
  int month = 1;  // 1..12
  int day = 1;
  int hour = 0;
  int minute = 0;
};

CalendarTime LocalCalendarTime(int64_t seconds_since_1970);
// The moment of an MS-DOS date and time (local time, 2-second steps), as seconds since 1970.
int64_t DosTimeToSeconds(uint16_t dos_date, uint16_t dos_time);

}  // namespace nocunzip::unzip32
