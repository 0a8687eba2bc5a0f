// Reading of event timestamps, the member filters and the time window.
#include "events/EventFilters.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "events/EventSamples_test.h"
#include "events/MemoryListReader_test.h"

namespace {

using event_samples::flow;
using event_samples::zoneOffsets;
using events::MemoryListReader;

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

// The source addresses of `events`, in order: each test event has its own.
std::vector<std::string> sourcesOf(const Json::Value& events) {
  std::vector<std::string> sources;
  for (const Json::Value& event : events) sources.push_back(event["src_ip"].asString());
  return sources;
}

MemoryListReader filteredFlows() {
  MemoryListReader reader;
  reader.list("flow") = {
      flow("1", "2026-07-15T12:00:01", "10.0.0.1", 51001, "192.0.2.1", 443, "TCP"),
      flow("2", "2026-07-15T12:00:02", "10.0.0.10", 51001, "192.0.2.1", 53, "UDP"),
      flow("3", "2026-07-15T12:00:03", "10.0.0.3", 51003, "192.0.2.2", 443, "TCP"),
      "{\"timestamp\":\"2026-07-15T12:00:04\",\"src_ip\":\"10.0.0.4\",\"proto\":\"ICMP\"}",
      flow("5", "2026-07-15T12:00:05", "10.0.0.5", 51001, "192.0.2.1", 443, "tcp"),
  };
  return reader;
}

// Every filter compares the member's text byte for byte; an empty filter
// matches an absent member; filters combine with "and".
TEST(EventsByParametersTest, KeepsTheEventsOfThePageThatPassEveryFilter) {
  const auto only = [](std::optional<std::string> events::EventMatch::*key, const char* value) {
    events::EventMatch match;
    match.*key = value;
    return match;
  };
  using M = events::EventMatch;
  const struct {
    const char* name;
    events::EventMatch match;
    std::vector<std::string> expected;
  } cases[] = {
      {"none", {}, {"10.0.0.1", "10.0.0.10", "10.0.0.3", "10.0.0.4", "10.0.0.5"}},
      {"src_ip", only(&M::src_ip, "10.0.0.1"), {"10.0.0.1"}},
      {"src_ip prefix", only(&M::src_ip, "10.0.0."), {}},
      {"src_port", only(&M::src_port, "51001"), {"10.0.0.1", "10.0.0.10", "10.0.0.5"}},
      {"src_port leading zero", only(&M::src_port, "051001"), {}},
      {"dest_ip", only(&M::dest_ip, "192.0.2.2"), {"10.0.0.3"}},
      {"dest_port", only(&M::dest_port, "53"), {"10.0.0.10"}},
      {"proto", only(&M::proto, "TCP"), {"10.0.0.1", "10.0.0.3"}},
      {"proto other case", only(&M::proto, "tcp"), {"10.0.0.5"}},
      {"empty matches absent", only(&M::dest_port, ""), {"10.0.0.4"}},
      {"two filters",
       {std::nullopt, "51001", std::nullopt, "443", std::nullopt},
       {"10.0.0.1", "10.0.0.5"}},
      {"all filters", {"10.0.0.1", "51001", "192.0.2.1", "443", "TCP"}, {"10.0.0.1"}},
      {"all but one byte", {"10.0.0.1", "51001", "192.0.2.1", "443", "UDP"}, {}},
  };
  const MemoryListReader reader = filteredFlows();
  for (const auto& c : cases) {
    EXPECT_EQ(sourcesOf(events::getEventsByParameters(reader, "flow", "0", "100", c.match)),
              c.expected)
        << c.name;
  }
  // The filters narrow the page only: events past its limit are never looked at.
  EXPECT_EQ(sourcesOf(events::getEventsByParameters(reader, "flow", "1", "3",
                                                    only(&M::dest_port, "443"))),
            (std::vector<std::string>{"10.0.0.3"}));
}

TEST(EventsByParametersTest, FailsWithTheSearchTexts) {
  MemoryListReader reader = filteredFlows();
  reader.list("bad") = {"{\"src_ip\":\"10.0.0.1\"}", "{\"src_ip\":"};
  reader.setText("text");
  reader.loseReply(3);
  const struct {
    const char* key;
    std::string expected;  // the start of the text
  } cases[] = {{"bad", "Events: JSON parsing error: "},
               {"text", "Events: Invalid Redis response"},
               {"flow", "Events: Redis search command error"}};
  for (const auto& c : cases) {
    try {
      events::getEventsByParameters(reader, c.key, "0", "100", {});
      ADD_FAILURE() << c.key;
    } catch (const EventsException& e) {
      EXPECT_EQ(std::string(e.what()).substr(0, c.expected.size()), c.expected) << c.key;
    }
  }
}

// The window is [now - hours, now], both ends in, read as local time: the
// tests give `now` for the zone they run under, from its published rules.
TEST(EventsByTimeTest, KeepsTheEventsStampedWithinTheLastHoursLocalTime) {
  const auto offsets = zoneOffsets();
  if (!offsets) GTEST_SKIP() << "no offsets known for this zone";
  MemoryListReader reader;
  reader.list("flow") = {
      flow("1", "2026-07-15T12:00:01", "future", 1, "192.0.2.1", 80, "TCP"),
      flow("2", "2026-07-15T12:00:00", "now", 1, "192.0.2.1", 80, "TCP"),
      flow("3", "2026-07-15T11:30:00.123456+0200", "half an hour", 1, "192.0.2.1", 80, "TCP"),
      "{\"timestamp\":\"2026-07-15T11:40:00\",",
      "{\"src_ip\":\"no timestamp\"}",
      flow("4", "N/A", "unreadable", 1, "192.0.2.1", 80, "TCP"),
      flow("5", "2026-07-15T11:00:00", "one hour", 1, "192.0.2.1", 80, "TCP"),
      flow("6", "2026-07-15T10:59:59", "past one hour", 1, "192.0.2.1", 80, "TCP"),
  };
  const time_t now = 1784116800 - offsets->second;  // 2026-07-15T12:00:00 local
  const struct {
    int hours;
    std::vector<std::string> expected;
  } cases[] = {
      {1, {"now", "half an hour", "one hour"}},
      {0, {"now"}},
      {2, {"now", "half an hour", "one hour", "past one hour"}},
      {-1, {}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sourcesOf(events::getEventsByTime(reader, "flow", "0", "100", c.hours, now)),
              c.expected)
        << c.hours << " hours";
  }
}

// On the night the clocks go forward, local 01:45 is 45 minutes before local
// 03:30 in a zone with daylight saving time, and 105 minutes in UTC.
TEST(EventsByTimeTest, AWindowAcrossTheClockChangeCountsRealTimeLocalTime) {
  const char* zone = std::getenv("TZ");
  const std::string name = zone != nullptr ? zone : "";
  struct Zone {
    const char* name;
    time_t now;  // 2026-03-29T03:30:00 local
    std::vector<std::string> expected;
  };
  const Zone zones[] = {{"UTC", 1774755000, {"03:00"}},
                        {"Europe/Berlin", 1774747800, {"03:00", "01:45"}}};
  const Zone* found = nullptr;
  for (const Zone& z : zones) {
    if (name == z.name) found = &z;
  }
  if (found == nullptr) GTEST_SKIP() << "no clock change known for this zone";
  MemoryListReader reader;
  reader.list("alert") = {
      flow("1", "2026-03-29T03:00:00", "03:00", 1, "192.0.2.1", 80, "TCP"),
      flow("2", "2026-03-29T01:45:00", "01:45", 1, "192.0.2.1", 80, "TCP"),
      flow("3", "2026-03-29T01:29:59", "01:29:59", 1, "192.0.2.1", 80, "TCP"),
  };
  EXPECT_EQ(sourcesOf(events::getEventsByTime(reader, "alert", "0", "100", 1, found->now)),
            found->expected);
}

TEST(EventsByTimeTest, FailsWithTheTimeWindowTexts) {
  MemoryListReader reader;
  reader.setText("text");
  reader.list("flow");
  reader.loseReply(2);
  const struct {
    const char* key;
    const char* expected;
  } cases[] = {{"text", "Invalid Redis response"}, {"flow", "Error processing request"}};
  for (const auto& c : cases) {
    try {
      events::getEventsByTime(reader, c.key, "0", "100", 1, 1784116800);
      ADD_FAILURE() << c.key;
    } catch (const EventsException& e) {
      EXPECT_STREQ(e.what(), c.expected) << c.key;
    }
  }
}

}  // namespace
