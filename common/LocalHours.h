// Conversions of local calendar times to seconds for a run of timestamps
// that come many to an hour (a list of events or statistics samples).
#ifndef COMMON_LOCALHOURS_H_
#define COMMON_LOCALHOURS_H_

#include <ctime>
#include <map>
#include <optional>
#include <tuple>

// Built for one pass over a list and dropped after it. Each hour's start is
// converted once and the minutes and seconds added to it, for every hour
// with no change of clock inside it (its first and last second lie 3,599 s
// apart); other hours, and leap seconds, are converted one time at a time.
class LocalHours {
 public:
  // mktime of `broken` with tm_isdst -1 (the zone's rules say whether summer
  // time applies); -1 when mktime fails. When the hour is one of the
  // converted ones and `hourStart` is given, *hourStart is set to the
  // seconds of its start, else to -1.
  std::time_t toSeconds(std::tm broken, std::time_t* hourStart = nullptr);

  // mktime of `broken` with tm_isdst -1, for a time on its own.
  static std::time_t convert(std::tm broken);

 private:
  // (year, month, day, hour) as read: the start of that hour, or nullopt
  // when a clock change falls inside it.
  std::map<std::tuple<int, int, int, int>, std::optional<std::time_t>> starts_;
};

#endif  // COMMON_LOCALHOURS_H_
