// Hour-by-hour conversions give what mktime gives for each time on its own,
// also on the days the clocks change (the suite runs again under
// Europe/Berlin, whose clocks change on 2026-03-29 and 2026-10-25).
#include "common/LocalHours.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::tm calendar(int year, int month, int day, int hour, int minute, int second) {
  std::tm broken{};
  broken.tm_year = year - 1900;
  broken.tm_mon = month - 1;
  broken.tm_mday = day;
  broken.tm_hour = hour;
  broken.tm_min = minute;
  broken.tm_sec = second;
  return broken;
}

TEST(LocalHoursTest, ConvertsAsMktimeAroundClockChanges) {
  const struct {
    int month, day;
  } days[] = {{3, 29}, {7, 1}, {10, 25}, {2, 31} /* read as 3 March */};
  LocalHours hours;
  for (const auto& day : days) {
    for (int hour = 0; hour < 5; ++hour) {
      // The hour that a change of clock repeats has two readings; mktime's
      // choice there depends on its previous calls.
      if (day.month == 10 && hour == 2) continue;
      for (const int minute : {0, 1, 29, 59}) {
        for (const int second : {0, 59}) {
          const std::tm broken = calendar(2026, day.month, day.day, hour, minute, second);
          EXPECT_EQ(hours.toSeconds(broken), LocalHours::convert(broken))
              << day.month << "-" << day.day << " " << hour << ":" << minute << ":" << second;
        }
      }
    }
  }
}

TEST(LocalHoursTest, LeapSecondIsConvertedOnItsOwn) {
  LocalHours hours;
  const std::tm leap = calendar(2026, 6, 30, 23, 59, 60);
  std::time_t start = 0;
  EXPECT_EQ(hours.toSeconds(leap, &start), LocalHours::convert(leap));
  EXPECT_EQ(start, -1);
}

}  // namespace
