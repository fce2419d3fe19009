#include "read/local_time.h"

namespace nocunzip::unzip32 {

int64_t DosTimeConverter::Seconds(uint16_t dos_date, uint16_t dos_time) {
  const auto hour = static_cast<uint16_t>(dos_time >> 11);
  const int minute = (dos_time >> 5) & 0x3F;
  const int second = 2 * (dos_time & 0x1F);
  // Minutes and seconds past 59 run into the next hour, which may lie past a change of
  // daylight saving time: those the platform converts.
  if (minute > 59 || second > 59) return DosTimeToSeconds(dos_date, dos_time);
  if (!any_ || dos_date != date_ || hour != hour_) {
    const int64_t start = DosTimeToSeconds(dos_date, static_cast<uint16_t>(hour << 11));
    if (start == 0) return DosTimeToSeconds(dos_date, dos_time);  // not a time: as it is
    any_ = true;
    date_ = dos_date;
    hour_ = hour;
    hour_start_ = start;
  }
  return hour_start_ + 60 * minute + second;
}

}  // namespace nocunzip::unzip32
