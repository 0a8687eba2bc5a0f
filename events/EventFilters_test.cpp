// Reading of event timestamps as the host's local time.
#include "events/EventFilters.h"

#include <cstdlib>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

namespace {

// Offset of the zone the tests run under at 2026-01-15 and 2026-07-15, from
// its published rules; nullopt for a zone this table does not know.
std::optional<std::pair<long, long>> zoneOffsets() {
  const char* zone = std::getenv("TZ");
  const std::string name = zone != nullptr ? zone : "";
  if (name == "UTC") return std::make_pair(0L, 0L);
  if (name == "Europe/Berlin") return std::make_pair(3600L, 7200L);
  return std::nullopt;
}

// Daylight saving time was read as off for every timestamp, so summer times
// in a zone with daylight saving came out an hour late: events of the last
// hour looked as if they lay in the future.
TEST(ParseTimestampTest, ReadsLocalTimeUnderTheZoneRulesOfThatDay) {
  struct Case {
    const char* text;
    time_t utcReading;  // seconds since the epoch were the text UTC
    bool summer;
  };
  const Case cases[] = {
      {"2026-01-15T12:34:56", 1768480496, false},
      {"2026-01-15T12:34:56.789012+0100", 1768480496, false},
      {"2026-01-15T12:34:56-0500", 1768480496, false},
      {"2026-07-15T12:34:56.000000+0200", 1784118896, true},
      {"2026-07-15T12:34:56+0900", 1784118896, true},
  };
  const auto offsets = zoneOffsets();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<time_t> seconds = events::parseTimestamp(c.text);
    ASSERT_TRUE(seconds.has_value());
    std::tm local{};
    localtime_r(&*seconds, &local);
    char back[32];
    strftime(back, sizeof back, "%Y-%m-%dT%H:%M:%S", &local);
    EXPECT_EQ(std::string(back), std::string(c.text, 19));
    if (offsets) {
      EXPECT_EQ(*seconds, c.utcReading - (c.summer ? offsets->second : offsets->first));
    }
  }
}

TEST(ParseTimestampTest, TextsWithoutAWholeDateAndTimeAreUnreadable) {
  for (const char* text : {"", "2026-01-15", "2026-01-15T12:34", "2026-01-15 12:34:56",
                           "x2026-01-15T12:34:56", "2026-13-15T12:34:56", "N/A"}) {
    EXPECT_FALSE(events::parseTimestamp(text).has_value()) << text;
  }
}

}  // namespace
