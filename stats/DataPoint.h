// One sample of a statistics time series.
#ifndef STATS_DATAPOINT_H_
#define STATS_DATAPOINT_H_

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <vector>

// A time point of the system clock counted in nanoseconds since the Unix epoch.
using SampleTime = std::chrono::time_point<std::chrono::system_clock, std::chrono::nanoseconds>;

struct DataPoint {
  SampleTime time;
  int32_t value = 0;
};

// A series, in the order the samples were read or derived.
using DataSeries = std::vector<DataPoint>;

bool operator==(const DataPoint& a, const DataPoint& b);
// "(<nanoseconds since the epoch>, <value>)", for test messages.
std::ostream& operator<<(std::ostream& out, const DataPoint& point);

#endif  // STATS_DATAPOINT_H_
