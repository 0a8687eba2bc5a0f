// Hour-by-hour conversions of local calendar times.
#include "common/LocalHours.h"

std::time_t LocalHours::toSeconds(std::tm broken, std::time_t* hourStart) {
  if (hourStart != nullptr) *hourStart = -1;
  if (broken.tm_min < 0 || broken.tm_min > 59 || broken.tm_sec < 0 || broken.tm_sec > 59) {
    return convert(broken);
  }
  const auto [hour, added] = starts_.try_emplace(
      std::make_tuple(broken.tm_year, broken.tm_mon, broken.tm_mday, broken.tm_hour));
  if (added) {
    std::tm first = broken;
    first.tm_min = first.tm_sec = 0;
    std::tm last = broken;
    last.tm_min = last.tm_sec = 59;
    const std::time_t start = convert(first);
    if (start != -1 && convert(last) - start == 3599) hour->second = start;
  }
  if (!hour->second) return convert(broken);
  if (hourStart != nullptr) *hourStart = *hour->second;
  return *hour->second + broken.tm_min * 60 + broken.tm_sec;
}

std::time_t LocalHours::convert(std::tm broken) {
  broken.tm_isdst = -1;
  return mktime(&broken);
}
