// The age and type filters of the store rebuild. Runs under UTC and under a
// zone with daylight saving time: the feed's times are UTC either way.
#include "threats/IndicatorStore.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

// The feed's form of the UTC time `secondsAgo` before now.
std::string utcAgo(long secondsAgo) {
  const time_t when = time(nullptr) - secondsAgo;
  std::tm parts{};
  gmtime_r(&when, &parts);
  char text[32];
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
  return text;
}

TEST(ThreatsFilterTest, DateIsWithinWhenNoMoreWholeHoursAgoThanTheDays) {
  constexpr long kHour = 3600;
  struct Case {
    std::string date;
    int32_t n_days;
    bool within;
  };
  const Case cases[] = {
      {utcAgo(30 * 60), 0, true},  // under one hour: 0 whole hours
      {utcAgo(kHour + 60), 0, false},
      {utcAgo(-5 * kHour), 0, true},  // in the future
      {utcAgo(-5 * kHour), -1, false},
      {utcAgo(7 * 24 * kHour - 60), 7, true},
      {utcAgo(7 * 24 * kHour + kHour + 60), 7, false},
      {"\"" + utcAgo(kHour) + "\"", 1, true},  // quoted like the feed's fields
      {utcAgo(2 * kHour), 2147483647, true},   // no overflow of 24 × n_days
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.date + " within " + std::to_string(c.n_days));
    EXPECT_EQ(threats::isWithinNDays(c.date, c.n_days), c.within);
  }
}

TEST(ThreatsFilterTest, TextThatIsNoDateIsNeverWithin) {
  for (const char* text : {"", "first_seen_utc", "# comment", "2024-13-45", "yesterday"}) {
    EXPECT_FALSE(threats::isWithinNDays(text, 2147483647)) << text;
  }
}

TEST(ThreatsFilterTest, OnlyAddressUrlAndDomainTypesAreKept) {
  const std::pair<const char*, bool> cases[] = {
      {"ip:port", true},      {"url", true}, {"domain", true},  {"md5_hash", false},
      {"sha256_hash", false}, {"", false},   {"Domain", false}, {"ip:port ", false}};
  for (const auto& [type, kept] : cases) {
    ThreatItem item;
    item.ioc_type = type;
    EXPECT_EQ(threats::isWithinValidTypes(item), kept) << type;
  }
}

}  // namespace
