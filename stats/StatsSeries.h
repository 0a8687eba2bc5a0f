// The 24-hour charts: series read from "stats" and "stats_report" (each
// command through RedisWrapper, under the lock), the packet increments, and
// the folding into 48 half-hour slots.
#ifndef STATS_STATSSERIES_H_
#define STATS_STATSSERIES_H_

#include <json/value.h>

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "stats/DataPoint.h"
#include "stats/StatsException.h"

// Chart data: label ("-24.0h" ... "-0.5h", "0.0h" onwards for the future) to
// the greatest sample value in that half hour.
using ChartData = std::map<std::string, int32_t>;

namespace stats {

// "LLEN stats", "LRANGE stats 0 <len-1>": each entry read by
// StatsItem::parse, its time from parseIso8601 of its timestamp, its value
// decoder_pkts for "pkts" and detect_alert otherwise (low 32 bits); returns
// modifyValues of that series. Throws StatsException on a missing or
// mistyped reply, what StatsItem::parse throws, std::runtime_error "Failed to
// parse time", and RedisWrapper's connection errors.
DataSeries get_stats_as_DataPoints(const std::string& type);

// "LLEN stats_report", "LRANGE stats_report 0 <len-1>": per entry, time from
// "timestamp" and the value of member `type` as it is: "CPU_percent" x 100,
// "physical_memory" and "virtual_memory" truncated, "alerts" (low 32 bits).
// In list order, no differencing. Throws as above, and StatsException
// "Stats: JSON parsing error: ..." for an entry that is not JSON,
// "Stats: Unknown statistics type: <type>" (for a non-empty list) and a
// StatsException naming the member when its value is not a number in range.
DataSeries get_resource_stats_as_DataPoints(const std::string& type);

// Increments between neighbours, oldest first: the input reversed, the first
// point 0, then cur - prev when it is 0 or more (in 32-bit wrapping
// arithmetic, so a counter that passes 2^31 still gives its increment), or
// cur itself when the counter went back (a restart). Fewer than 2 points
// give an empty series.
DataSeries modifyValues(const DataSeries& points);

// "%Y-%m-%dT%H:%M:%S" read as local time; a fraction or zone offset after
// the seconds is ignored. Throws std::runtime_error "Failed to parse time".
SampleTime parseIso8601(const std::string& text);

// `hours` in fixed notation with one decimal and "h": -24.0h, -0.5h, 0.0h.
std::string generateTimeLabel(double hours);

// The 48 half-hour slots of the 24 hours before `now`, each holding the
// greatest value of its samples (0 when none). A sample less than a minute
// older than the window counts in "-24.0h"; older ones are dropped; samples
// after `now` add labels from "0.0h" on.
ChartData generateChartData(const DataSeries& points, SampleTime now);
ChartData generateChartData(const DataSeries& points);

// The chart of get_stats_as_DataPoints / get_resource_stats_as_DataPoints as
// a JSON array of {"label", "value"}, newest slot first ("-0.5h" ... "-24.0h",
// future labels before them). Throws what the series readers throw.
Json::Value prepare_data(const std::string& type);
Json::Value prepare_resource_data(const std::string& type);

// The pairs as a JSON array of {"label": label, "value": value}, in order.
Json::Value convert_vector_to_json(const std::vector<std::pair<std::string, int32_t>>& chart);

}  // namespace stats

#endif  // STATS_STATSSERIES_H_
