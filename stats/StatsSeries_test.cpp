// The pure steps of the 24-hour charts: increments, time reading, labels and
// the folding into half-hour slots.
#include "stats/StatsSeries.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using std::chrono::hours;
using std::chrono::minutes;
using std::chrono::seconds;

SampleTime at(int64_t secondsSinceEpoch) { return SampleTime(seconds(secondsSinceEpoch)); }

TEST(StatsSeriesTest, ModifyValuesGivesIncrementsOldestFirst) {
  struct Case {
    const char* name;
    std::vector<int32_t> values;    // in list order, the head first
    std::vector<int32_t> expected;  // in output order
  };
  const Case cases[] = {
      {"empty", {}, {}},
      {"one point", {7}, {}},
      {"restart at the head", {40, 150, 150, 100}, {0, 50, 0, 40}},
      {"steady growth", {30, 20, 10}, {0, 10, 10}},
      {"negative head value after restart", {-5, 10}, {0, -5}},
      {"counter passing 2^31", {-2147483638, 2147483638}, {0, 20}},
      {"largest step", {2147483647, 0}, {0, 2147483647}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DataSeries points;
    for (size_t i = 0; i < c.values.size(); ++i) {
      points.push_back({at(1000 - static_cast<int64_t>(i)), c.values[i]});
    }
    DataSeries expected;
    for (size_t i = 0; i < c.expected.size(); ++i) {
      expected.push_back(
          {at(1000 - static_cast<int64_t>(c.expected.size() - 1 - i)), c.expected[i]});
    }
    EXPECT_EQ(stats::modifyValues(points), expected);
  }
}

// Expected instants per zone, worked out by hand. Summer dates in Berlin are
// two hours ahead of UTC, winter dates one.
TEST(StatsSeriesTest, ParseIso8601ReadsLocalTimeIgnoringFractionAndOffset) {
  const char* zone = std::getenv("TZ");
  const bool berlin = zone != nullptr && std::string(zone) == "Europe/Berlin";
  struct Case {
    const char* text;
    int64_t utc;
    int64_t berlinTime;
  };
  const Case cases[] = {
      {"2024-05-01T13:45:10.123456+0200", 1714571110, 1714563910},
      {"2024-05-01T13:45:10", 1714571110, 1714563910},
      {"2024-05-01T13:45:10Z", 1714571110, 1714563910},
      {"2024-01-15T08:00:00.000000+0100", 1705305600, 1705302000},
      {"1970-01-01T00:00:00+0000", 0, -3600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(stats::parseIso8601(c.text), at(berlin ? c.berlinTime : c.utc));
  }
}

TEST(StatsSeriesTest, ParseIso8601RejectsOtherForms) {
  const char* bad[] = {"unknown",
                       "",
                       "2024-05-01 13:45:10",
                       "2024-05-01T13:45",
                       "2024-13-01T00:00:00",
                       "01.05.2024T13:45:10",
                       "99999-01-01T00:00:00"};
  for (const char* text : bad) {
    SCOPED_TRACE(text);
    try {
      stats::parseIso8601(text);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Failed to parse time");
    }
  }
}

TEST(StatsSeriesTest, TimeLabels) {
  const std::pair<double, const char*> cases[] = {
      {-24.0, "-24.0h"}, {-23.5, "-23.5h"}, {-0.5, "-0.5h"}, {0.0, "0.0h"}, {1.5, "1.5h"}};
  for (const auto& [offset, label] : cases) EXPECT_EQ(stats::generateTimeLabel(offset), label);
}

TEST(StatsSeriesTest, EmptySeriesGivesFortyEightZeroSlots) {
  const ChartData chart = stats::generateChartData({}, at(1714571110));
  ASSERT_EQ(chart.size(), 48u);
  for (int i = 0; i < 48; ++i) {
    const std::string label = stats::generateTimeLabel(i * 0.5 - 24.0);
    ASSERT_EQ(chart.count(label), 1u) << label;
    EXPECT_EQ(chart.at(label), 0);
  }
}

TEST(StatsSeriesTest, ChartSlotsTakeTheGreatestSampleOfTheirHalfHour) {
  const SampleTime now = at(1714571110);
  const SampleTime windowStart = now - hours(24);
  const DataSeries points = {
      {now - minutes(10), 5},
      {now - minutes(20), 9},
      {now - minutes(25), 7},
      {now - minutes(30), 3},                                // the start of "-0.5h"
      {now - minutes(30) - std::chrono::nanoseconds(1), 4},  // just before it
      {now - minutes(200), -8},                              // below zero: the slot stays 0
      {windowStart - seconds(30), 11},                       // < 1 minute too old: first slot
      {windowStart - seconds(61), 99},                       // dropped
      {now + minutes(5), 2},                                 // future
      {now + minutes(75), 6},
  };
  const ChartData chart = stats::generateChartData(points, now);
  EXPECT_EQ(chart.size(), 50u);
  EXPECT_EQ(chart.at("-0.5h"), 9);
  EXPECT_EQ(chart.at("-1.0h"), 4);
  EXPECT_EQ(chart.at("-3.5h"), 0);
  EXPECT_EQ(chart.at("-24.0h"), 11);
  EXPECT_EQ(chart.at("0.0h"), 2);
  EXPECT_EQ(chart.at("1.0h"), 6);
  int nonZero = 0;
  for (const auto& slot : chart) nonZero += slot.second != 0;
  EXPECT_EQ(nonZero, 5);
}

TEST(StatsSeriesTest, ChartJsonKeepsTheGivenOrder) {
  EXPECT_EQ(stats::convert_vector_to_json({{"-0.5h", 3}, {"-24.0h", 0}}).toStyledString(),
            "[\n\t{\n\t\t\"label\" : \"-0.5h\",\n\t\t\"value\" : 3\n\t},\n"
            "\t{\n\t\t\"label\" : \"-24.0h\",\n\t\t\"value\" : 0\n\t}\n]\n");
}

}  // namespace
