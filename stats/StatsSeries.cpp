// The 24-hour charts: series read from "stats" and "stats_report", the
// packet increments, and the folding into 48 half-hour slots.
#include "stats/StatsSeries.h"

#include <json/reader.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <tuple>
#include <unordered_map>

#include "common/EventJson.h"
#include "common/ListSlices.h"
#include "common/LocalHours.h"
#include "common/Log.h"
#include "common/RedisWrapper.h"
#include "stats/EntryMemo.h"
#include "stats/StatsItem.h"

namespace stats {

namespace {

using std::chrono::nanoseconds;

constexpr int64_t kNanosPerMinute = 60'000'000'000;
constexpr nanoseconds kWindow(86'400'000'000'000);  // 24 hours
constexpr int kSlots = 48;                          // half hours in the window

// Logs and throws the series' error for a missing reply to `command`, or one
// whose type is not `type` (named `typeName` in the log line).
void checkReply(const redisReply* reply, const char* command, int type, const char* typeName) {
  if (!reply) {
    logging::alert("Stats: Redis command error (nullptr reply for %s)", command);
    throw StatsException("Stats: Redis command error");
  }
  if (reply->type != type) {
    logging::alert("Stats: Invalid Redis response type for %s. Expected %s, got: %d", command,
                   typeName, reply->type);
    throw StatsException(std::string("Stats: Invalid Redis response for ") + command);
  }
}

// Calls `use` with each entry of the list `key` and its index, in list order,
// a slice at a time. Returns false, having called nothing, when LLEN gives 0.
// Callers: both series readers.
bool forEachEntry(const char* key, const std::function<void(const redisReply&, size_t)>& use) {
  const RedisReplyPtr length = readWithLock("LLEN %s", key);
  checkReply(length.get(), "LLEN", redis_type::kInteger, "INTEGER");
  const int32_t count = static_cast<int32_t>(length->integer);
  logging::info("Stats: Retrieved list length: %d", count);
  if (count <= 0) {
    logging::info("Stats: List is empty, returning an empty vector");
    return false;
  }

  size_t index = 0;
  list_slices::walkWithLock(RedisWrapper(), key, 0, count - 1, [&](const redisReply* range) {
    checkReply(range, "LRANGE", redis_type::kArray, "ARRAY");
    for (size_t i = 0; i < range->elements; ++i) {
      if (range->element[i]->str == nullptr) {
        logging::alert("Stats: Null string in Redis reply element %zu", index + i);
        throw StatsException("Stats: Null string in Redis element");
      }
    }
    for (size_t i = 0; i < range->elements; ++i, ++index) use(*range->element[i], index);
    return true;
  });
  return true;
}

// Low 32 bits of a 64-bit count, as the series keep their values.
int32_t low32(int64_t value) { return static_cast<int32_t>(static_cast<uint32_t>(value)); }

// Member `name` of a resource report as a number (null reads as 0).
// Throws StatsException when it holds something else.
double numberMember(const Json::Value& entry, const std::string& name, size_t index) {
  const Json::Value& value = entry[name];
  if (value.isNull()) return 0.0;
  if (!value.isNumeric() || value.isBool()) {
    throw StatsException("Stats: '" + name + "' of element " + std::to_string(index) +
                         " is not a number");
  }
  return value.asDouble();
}

// `scaled` truncated towards zero; StatsException when it has no 32-bit value.
int32_t truncated(double scaled, const std::string& name, size_t index) {
  if (!(scaled > -2147483649.0 && scaled < 2147483648.0)) {
    throw StatsException("Stats: '" + name + "' of element " + std::to_string(index) +
                         " is out of range");
  }
  return static_cast<int32_t>(scaled);
}

// The value of one resource report for `type`.
int32_t resourceValue(const Json::Value& entry, const std::string& type, size_t index) {
  if (type == "CPU_percent") {
    return truncated(static_cast<float>(numberMember(entry, type, index)) * 100.0, type, index);
  }
  if (type == "physical_memory" || type == "virtual_memory") {
    return truncated(static_cast<float>(numberMember(entry, type, index)), type, index);
  }
  if (type == "alerts") {
    const double alerts = numberMember(entry, type, index);
    const Json::Value& value = entry[type];
    if (value.isInt64()) return low32(value.asInt64());
    if (alerts > -9223372036854775808.0 && alerts < 9223372036854775808.0) {
      return low32(static_cast<int64_t>(alerts));
    }
    throw StatsException("Stats: 'alerts' of element " + std::to_string(index) +
                         " is out of range");
  }
  logging::alert("Stats: Unknown statistics type: %s", type.c_str());
  throw StatsException("Stats: Unknown statistics type: " + type);
}

// The chart's pairs, newest slot first.
std::vector<std::pair<std::string, int32_t>> newestFirst(const ChartData& chart) {
  std::vector<std::tuple<double, std::string, int32_t>> keyed;
  keyed.reserve(chart.size());
  for (const auto& [label, value] : chart) {
    keyed.emplace_back(std::strtod(label.c_str(), nullptr), label, value);
  }
  std::sort(keyed.begin(), keyed.end(),
            [](const auto& a, const auto& b) { return std::get<0>(a) > std::get<0>(b); });
  std::vector<std::pair<std::string, int32_t>> sorted;
  sorted.reserve(keyed.size());
  for (auto& [hours, label, value] : keyed) sorted.emplace_back(std::move(label), value);
  return sorted;
}

// parseIso8601 with the conversions of `hours` when given.
SampleTime parseIso8601(const std::string& text, LocalHours* hours) {
  std::tm broken{};
  if (strptime(text.c_str(), "%Y-%m-%dT%H:%M:%S", &broken) == nullptr) {
    throw std::runtime_error("Failed to parse time");
  }
  const std::time_t seconds =
      hours != nullptr ? hours->toSeconds(broken) : LocalHours::convert(broken);
  constexpr std::time_t kLimit = std::numeric_limits<int64_t>::max() / 1'000'000'000;
  if (seconds > kLimit || seconds < -kLimit) throw std::runtime_error("Failed to parse time");
  return SampleTime(std::chrono::seconds(seconds));
}

}  // namespace

DataSeries get_stats_as_DataPoints(const std::string& type) {
  logging::info("Stats: Requesting statistics for key 'stats'");
  const bool packets = type == "pkts";
  LocalHours hours;
  DataSeries series;
  thread_local EntryMemo memo;
  struct Finish {
    ~Finish() { memo.finishRequest(); }
  } finish;
  const bool listed = forEachEntry("stats", [&](const redisReply& element, size_t) {
    const StatsItem& item = memo.parse(std::string_view(element.str, element.len));
    series.push_back({parseIso8601(item.timestamp, &hours),
                      low32(packets ? item.decoder_pkts : item.detect_alert)});
  });
  if (!listed) return DataSeries();
  logging::info("Stats: Successfully parsed %zu data points from Redis", series.size());
  return modifyValues(series);
}

DataSeries get_resource_stats_as_DataPoints(const std::string& type) {
  logging::info("Stats: Requesting resource statistics for key 'stats_report'");
  const std::unique_ptr<Json::CharReader> reader = event_json::makeReader();
  Json::Value entry;
  std::string errors;
  LocalHours hours;
  DataSeries series;
  const bool listed = forEachEntry("stats_report", [&](const redisReply& element, size_t i) {
    if (!reader->parse(element.str, element.str + element.len, &entry, &errors)) {
      logging::alert("Stats: JSON parsing error at element %zu: %s", i, errors.c_str());
      throw StatsException("Stats: JSON parsing error: " + errors);
    }
    if (!entry.isObject()) {
      throw StatsException("Stats: element " + std::to_string(i) + " is not a JSON object");
    }
    const Json::Value& time = entry["timestamp"];
    // A timestamp that is missing or not text cannot be read as a time.
    const SampleTime when = parseIso8601(time.isString() ? time.asString() : std::string(), &hours);
    series.push_back({when, resourceValue(entry, type, i)});
  });
  if (!listed) return DataSeries();
  logging::info("Stats: Successfully parsed %zu data points from Redis", series.size());
  return series;
}

DataSeries modifyValues(const DataSeries& points) {
  if (points.size() < 2) return DataSeries();
  DataSeries increments;
  increments.reserve(points.size());
  auto point = points.rbegin();
  increments.push_back({point->time, 0});
  int32_t previous = point->value;
  for (++point; point != points.rend(); ++point) {
    const int32_t current = point->value;
    // Wrapping difference: a 32-bit counter that passed 2^31 still gives its step.
    const int32_t step =
        static_cast<int32_t>(static_cast<uint32_t>(current) - static_cast<uint32_t>(previous));
    increments.push_back({point->time, step >= 0 ? step : current});
    previous = current;
  }
  return increments;
}

SampleTime parseIso8601(const std::string& text) { return parseIso8601(text, nullptr); }

std::string generateTimeLabel(double hours) {
  std::ostringstream label;
  label.imbue(std::locale::classic());
  label.setf(std::ios::fixed);
  label.precision(1);
  label << hours << 'h';
  return label.str();
}

ChartData generateChartData(const DataSeries& points) {
  return generateChartData(points, std::chrono::system_clock::now());
}

ChartData generateChartData(const DataSeries& points, SampleTime now) {
  ChartData chart;
  for (int i = 0; i < kSlots; ++i) chart[generateTimeLabel(i * 0.5 - 24.0)] = 0;
  const SampleTime start = now - kWindow;
  // A sample less than a minute older than the window still counts in its first slot.
  const SampleTime earliest = start - nanoseconds(kNanosPerMinute - 1);
  std::unordered_map<uint64_t, int32_t*> valueOfSlot;  // labels are written once per slot
  for (const DataPoint& point : points) {
    if (point.time < earliest) continue;
    const int64_t minutes = (point.time - start).count() / kNanosPerMinute;
    const uint64_t slot = static_cast<uint64_t>(minutes) / 30;
    int32_t*& value = valueOfSlot[slot];
    if (value == nullptr) value = &chart[generateTimeLabel(static_cast<double>(slot) * 0.5 - 24.0)];
    *value = std::max(*value, point.value);
  }
  return chart;
}

Json::Value prepare_data(const std::string& type) {
  return convert_vector_to_json(newestFirst(generateChartData(get_stats_as_DataPoints(type))));
}

Json::Value prepare_resource_data(const std::string& type) {
  return convert_vector_to_json(
      newestFirst(generateChartData(get_resource_stats_as_DataPoints(type))));
}

Json::Value convert_vector_to_json(const std::vector<std::pair<std::string, int32_t>>& chart) {
  Json::Value array(Json::arrayValue);
  for (const auto& [label, value] : chart) {
    Json::Value& slot = array.append(Json::Value(Json::objectValue));
    slot["label"] = label;
    slot["value"] = value;
  }
  return array;
}

}  // namespace stats
