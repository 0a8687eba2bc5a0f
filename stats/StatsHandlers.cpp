// HTTP handlers of the statistics routes: the Stats headers first, one data
// operation, one reply. The JSON routes answer styled text (ending in a line
// feed) with content type application/json.
#include "common/Log.h"
#include "http/Frame.h"
#include "stats/Stats.h"
#include "stats/StatsProbes.h"
#include "stats/StatsSeries.h"
#include "stats/StatsSnapshot.h"

using http::Request;

namespace {

constexpr http::Cors kCors = http::Cors::kStats;

// A StatsException is logged as "Stats error: %s"; it and any other error
// become 500 with the bare message. The mapping of the seven JSON routes.
http::Reply statsError(const std::exception& error) {
  if (dynamic_cast<const StatsException*>(&error) != nullptr) {
    logging::alert("Stats error: %s", error.what());
  }
  return http::error(error.what());
}

// Answers the JSON value that `compute` returns; the charts and the snapshot
// scan whole lists, the histogram only counts them.
http::Handler serveStyledJson(Json::Value (*compute)()) {
  return {{kCors, &statsError}, [compute](const Request&) { return http::styledJson(compute()); }};
}

}  // namespace

http::Handler Stats::handlegetStats() {
  return serveStyledJson([] { return stats::get_stats(); });
}

http::Handler Stats::handlegetStatsPkts() {
  return serveStyledJson([] { return stats::prepare_data("pkts"); });
}

http::Handler Stats::handlegetStatsAlerts() {
  return serveStyledJson([] { return stats::prepare_resource_data("alerts"); });
}

http::Handler Stats::handlegetStatsCPU() {
  return serveStyledJson([] { return stats::prepare_resource_data("CPU_percent"); });
}

http::Handler Stats::handlegetStatsVM() {
  return serveStyledJson([] { return stats::prepare_resource_data("virtual_memory"); });
}

http::Handler Stats::handlegetStatsPM() {
  return serveStyledJson([] { return stats::prepare_resource_data("physical_memory"); });
}

http::Handler Stats::handlegetHistogramm() {
  return serveStyledJson([] { return stats::get_histogramm(); });
}

// The probe runs pgrep.
http::Handler Stats::handleCheckSuricataStatus() {
  return {{kCors}, [](const Request&) {
            return http::text(stats::isSuricataRunning() ? "Suricata is running\n"
                                                         : "Suricata is not running\n");
          }};
}

http::Handler Stats::handleGetFileDate() {
  return {{kCors}, [](const Request&) { return http::text(stats::getRulesFileDate()); }};
}
