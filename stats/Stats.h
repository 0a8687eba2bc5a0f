// Statistics: the snapshot of Suricata's counters and of this process's
// memory, 24-hour charts in half-hour slots, the event-count histogram, the
// probe whether Suricata runs and the rules file's modification date.
// Every reply carries the Stats cross-origin headers.
#ifndef STATS_STATS_H_
#define STATS_STATS_H_

#include <map>
#include <string>
#include <utility>
#include <vector>

#include <json/value.h>
#include <pistache/http.h>
#include <pistache/router.h>

#include "stats/DataPoint.h"
#include "stats/StatsException.h"

// Chart data: label ("-24.0h" ... "-0.5h", "0.0h" onwards for the future) to
// the greatest sample value in that half hour.
using ChartData = std::map<std::string, int32_t>;

class Stats {
 public:
  // ---- Handlers -----------------------------------------------------------
  // The JSON handlers answer 200 with the value's styled text (ending in a line
  // feed) and Content-Type application/json; any error is 500 with the
  // exception's text as plain text ("Stats error: %s" is logged for a
  // StatsException).

  // GET "/stats/": get_stats.
  static void handlegetStats(const Pistache::Rest::Request& request,
                             Pistache::Http::ResponseWriter response);
  // GET "/stats/pkts/": prepare_data("pkts").
  static void handlegetStatsPkts(const Pistache::Rest::Request& request,
                                 Pistache::Http::ResponseWriter response);
  // GET "/stats/alerts/": prepare_resource_data("alerts").
  static void handlegetStatsAlerts(const Pistache::Rest::Request& request,
                                   Pistache::Http::ResponseWriter response);
  // GET "/stats/cpu/": prepare_resource_data("CPU_percent").
  static void handlegetStatsCPU(const Pistache::Rest::Request& request,
                                Pistache::Http::ResponseWriter response);
  // GET "/stats/vm/": prepare_resource_data("virtual_memory").
  static void handlegetStatsVM(const Pistache::Rest::Request& request,
                               Pistache::Http::ResponseWriter response);
  // GET "/stats/pm/": prepare_resource_data("physical_memory").
  static void handlegetStatsPM(const Pistache::Rest::Request& request,
                               Pistache::Http::ResponseWriter response);
  // GET "/stats/histogramm/": get_histogramm.
  static void handlegetHistogramm(const Pistache::Rest::Request& request,
                                  Pistache::Http::ResponseWriter response);
  // GET "/suricata/running/": 200 "Suricata is running\n" or
  // "Suricata is not running\n", no content type.
  static void handleCheckSuricataStatus(const Pistache::Rest::Request& request,
                                        Pistache::Http::ResponseWriter response);
  // GET "/stats/update/": 200 with the rules file's modification time or
  // "File not found", no content type; 500 with the library's text when the
  // configuration cannot be read.
  static void handleGetFileDate(const Pistache::Rest::Request& request,
                                Pistache::Http::ResponseWriter response);

  // ---- Snapshot (direct Redis connections, no wait for the lock) -----------

  // The head entry of "stats" with the DNS, DHCP, HTTP, TLS and alert tallies
  // and this process's memory, as StatsItem::toJson. An empty or missing
  // "stats" list (or one whose LLEN gives no integer) gives the default record
  // with no tallies taken. Throws StatsException: "Stats Error: Redis
  // connection error.", "Error:  Couldn't execute redisCommand" (no LLEN
  // reply), "Couldn't get key valuest " (LRANGE gives no array), or what
  // StatsItem::parse and the tallies throw.
  static Json::Value get_stats();

  // ---- Series (each command through RedisWrapper, under the lock) ----------

  // "LLEN stats", "LRANGE stats 0 <len-1>": each entry read by
  // StatsItem::parse, its time from parseIso8601 of its timestamp, its value
  // decoder_pkts for "pkts" and detect_alert otherwise (low 32 bits); returns
  // modifyValues of that series. Throws StatsException on a missing or
  // mistyped reply, what StatsItem::parse throws, std::runtime_error "Failed to
  // parse time", and RedisWrapper's connection errors.
  static DataSeries get_stats_as_DataPoints(const std::string& type);

  // "LLEN stats_report", "LRANGE stats_report 0 <len-1>": per entry, time from
  // "timestamp" and the value of member `type` as it is: "CPU_percent" x 100,
  // "physical_memory" and "virtual_memory" truncated, "alerts" (low 32 bits).
  // In list order, no differencing. Throws as above, and StatsException
  // "Stats: JSON parsing error: ..." for an entry that is not JSON,
  // "Stats: Unknown statistics type: <type>" (for a non-empty list) and a
  // StatsException naming the member when its value is not a number in range.
  static DataSeries get_resource_stats_as_DataPoints(const std::string& type);

  // Increments between neighbours, oldest first: the input reversed, the first
  // point 0, then cur - prev when it is 0 or more (in 32-bit wrapping
  // arithmetic, so a counter that passes 2^31 still gives its increment), or
  // cur itself when the counter went back (a restart). Fewer than 2 points
  // give an empty series.
  static DataSeries modifyValues(const DataSeries& points);

  // "%Y-%m-%dT%H:%M:%S" read as local time; a fraction or zone offset after
  // the seconds is ignored. Throws std::runtime_error "Failed to parse time".
  static SampleTime parseIso8601(const std::string& text);

  // `hours` in fixed notation with one decimal and "h": -24.0h, -0.5h, 0.0h.
  static std::string generateTimeLabel(double hours);

  // The 48 half-hour slots of the 24 hours before `now`, each holding the
  // greatest value of its samples (0 when none). A sample less than a minute
  // older than the window counts in "-24.0h"; older ones are dropped; samples
  // after `now` add labels from "0.0h" on.
  static ChartData generateChartData(const DataSeries& points, SampleTime now);
  static ChartData generateChartData(const DataSeries& points);

  // The chart of get_stats_as_DataPoints / get_resource_stats_as_DataPoints as
  // a JSON array of {"label", "value"}, newest slot first ("-0.5h" ... "-24.0h",
  // future labels before them). Throws what the series readers throw.
  static Json::Value prepare_data(const std::string& type);
  static Json::Value prepare_resource_data(const std::string& type);

  // The pairs as a JSON array of {"label": label, "value": value}, in order.
  static Json::Value convert_vector_to_json(
      const std::vector<std::pair<std::string, int32_t>>& chart);

  // ---- Histogram and probes -------------------------------------------------

  // One object {key: LLEN key} per event list, for the 16 lists "alert" ...
  // "stats" in a fixed order, each LLEN through RedisWrapper. Throws
  // StatsException "Stats: Redis command error" (no reply) or
  // "Stats: Invalid Redis response type for key '<key>'" (not an integer).
  static Json::Value get_histogramm();

  // Whether a process named Suricata-Main runs ("pgrep Suricata-Main").
  static bool isSuricataRunning();

  // Modification time of `path` as local "%Y-%m-%d %H:%M:%S", or
  // "File not found" when it cannot be stat'ed.
  static std::string getLastModifiedDate(const std::string& path);
};

#endif  // STATS_STATS_H_
