// Statistics inputs: a "stats" event (StatsItem), a resource report time,
// a "/proc/<pid>/stat" line, and series of samples for the increments and
// the chart. Input: event text, stat line and raw samples (12 bytes each:
// nanoseconds and value), separated by NUL bytes.
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "stats/DataPoint.h"
#include "stats/ProcStat.h"
#include "stats/StatsItem.h"
#include "stats/StatsSeries.h"

namespace {

// 2026-01-01T00:00:00Z, so that the chart's window is fixed.
constexpr int64_t kNowNanos = 1'767'225'600'000'000'000;

DataSeries samplesOf(const std::string& bytes) {
  DataSeries points;
  for (size_t at = 0; at + 12 <= bytes.size(); at += 12) {
    int64_t nanos = 0;
    int32_t value = 0;
    std::memcpy(&nanos, bytes.data() + at, sizeof nanos);
    std::memcpy(&value, bytes.data() + at + 8, sizeof value);
    points.push_back({SampleTime(std::chrono::nanoseconds(nanos)), value});
  }
  return points;
}

void checkSeries(const DataSeries& points) {
  const DataSeries steps = stats::modifyValues(points);
  FUZZ_CHECK(steps.size() == (points.size() < 2 ? 0 : points.size()));
  for (size_t i = 0; i < steps.size(); ++i) {
    FUZZ_CHECK(steps[i].time == points[points.size() - 1 - i].time);
  }
  const SampleTime now{std::chrono::nanoseconds(kNowNanos)};
  const ChartData chart = stats::generateChartData(points, now);
  FUZZ_CHECK(chart.size() >= 48);
  const Json::Value json = stats::convert_vector_to_json({chart.begin(), chart.end()});
  FUZZ_CHECK(json.size() == chart.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts = fuzz::fields(data, size, 3);
  DataSeries points = samplesOf(parts[2]);

  try {
    const StatsItem item = StatsItem::parse(parts[0]);
    FUZZ_CHECK(item.toJson().size() == 29);
    FUZZ_CHECK(item.tls_sessions == item.flow_tls);
    try {
      points.push_back(
          {stats::parseIso8601(item.timestamp), static_cast<int32_t>(item.decoder_pkts)});
    } catch (const std::runtime_error&) {
    }
  } catch (const StatsException&) {
  }
  try {
    stats::parseIso8601(parts[0]);
  } catch (const std::runtime_error&) {
  }

  if (const auto fields = proc_stat::parse(parts[1])) {
    const proc_stat::MemoryUsage usage = proc_stat::toKiB(*fields, 4096);
    FUZZ_CHECK(usage.virtualKiB >= 0.0);
  }
  checkSeries(points);
  return 0;
}
