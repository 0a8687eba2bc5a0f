// HTTP handlers of the statistics routes: the Stats headers first, one data
// operation, one reply. The JSON routes answer styled text (ending in a line
// feed) with content type application/json.
#include "stats/Stats.h"

#include "common/Log.h"
#include "http/Frame.h"
#include "stats/StatsProbes.h"
#include "stats/StatsSeries.h"
#include "stats/StatsSnapshot.h"

using Pistache::Http::ResponseWriter;
using Pistache::Rest::Request;

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
void serveStyledJson(const Request& request, ResponseWriter& response, Json::Value (*compute)(),
                     http::Work work = http::Work::kScan) {
  http::serve({kCors, work, &statsError}, request, response,
              [compute](const Request&) { return http::styledJson(compute()); });
}

}  // namespace

void Stats::handlegetStats(const Request& request, ResponseWriter response) {
  serveStyledJson(request, response, [] { return stats::get_stats(); });
}

void Stats::handlegetStatsPkts(const Request& request, ResponseWriter response) {
  serveStyledJson(request, response, [] { return stats::prepare_data("pkts"); });
}

void Stats::handlegetStatsAlerts(const Request& request, ResponseWriter response) {
  serveStyledJson(request, response, [] { return stats::prepare_resource_data("alerts"); });
}

void Stats::handlegetStatsCPU(const Request& request, ResponseWriter response) {
  serveStyledJson(request, response, [] { return stats::prepare_resource_data("CPU_percent"); });
}

void Stats::handlegetStatsVM(const Request& request, ResponseWriter response) {
  serveStyledJson(request, response, [] { return stats::prepare_resource_data("virtual_memory"); });
}

void Stats::handlegetStatsPM(const Request& request, ResponseWriter response) {
  serveStyledJson(request, response,
                  [] { return stats::prepare_resource_data("physical_memory"); });
}

void Stats::handlegetHistogramm(const Request& request, ResponseWriter response) {
  serveStyledJson(
      request, response, [] { return stats::get_histogramm(); }, http::Work::kCheap);
}

// The probe runs pgrep.
void Stats::handleCheckSuricataStatus(const Request& request, ResponseWriter response) {
  http::serve({kCors, http::Work::kSlow}, request, response, [](const Request&) {
    return http::text(stats::isSuricataRunning() ? "Suricata is running\n"
                                                 : "Suricata is not running\n");
  });
}

void Stats::handleGetFileDate(const Request& request, ResponseWriter response) {
  http::serve({kCors}, request, response, [](const Request&) {
    return http::text(stats::getRulesFileDate());
  });
}
