// The local calendar time of a moment, as the entry descriptions show it.
#pragma once

#include <cstdint>

namespace nocunzip::unzip32 {

// Between the start of 1601, from which NTFS times and FILETIMEs count, and that of 1970.
inline constexpr int64_t kSecondsFrom1601To1970 = 11644473600;

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

// DosTimeToSeconds for the entries of one archive, which mostly share their dates: the
// start of the last hour converted is kept, as the platform's conversion reads the time
// zone anew on every call.
class DosTimeConverter {
 public:
  int64_t Seconds(uint16_t dos_date, uint16_t dos_time);

 private:
  bool any_ = false;
  uint16_t date_ = 0;
  uint16_t hour_ = 0;
  int64_t hour_start_ = 0;
};

}  // namespace nocunzip::unzip32
