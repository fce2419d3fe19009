// MS-DOS times as moments, converted once an hour.
#include "read/local_time.h"

#include <gtest/gtest.h>

namespace nocunzip::unzip32 {
namespace {

uint16_t Date(int year, int month, int day) {
  return static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
}
uint16_t Time(int hour, int minute, int second) {
  return static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
}

TEST(DosTimeConverter, GivesWhatTheConversionOfEachTimeGives) {
  DosTimeConverter converter;
  // Runs of one date and hour, jumps between them, days around the usual changes of
  // daylight saving time, and times that are not times (minute 63, day 0).
  for (const uint16_t date :
       {Date(2024, 5, 17), Date(2024, 3, 31), Date(2024, 10, 27), Date(2024, 3, 10),
        Date(1980, 1, 1), Date(2107, 12, 31), Date(2024, 5, 0)}) {
    for (int hour = 0; hour < 24; ++hour) {
      for (const int minute : {0, 1, 29, 59, 63}) {
        for (const int second : {0, 2, 58, 62}) {
          const uint16_t time = Time(hour, minute, second);
          EXPECT_EQ(converter.Seconds(date, time), DosTimeToSeconds(date, time))
              << date << " " << hour << ":" << minute << ":" << second;
        }
      }
    }
  }
}

}  // namespace
}  // namespace nocunzip::unzip32
