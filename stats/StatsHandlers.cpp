// HTTP handlers of the statistics routes: the Stats headers first, one data
// operation, one reply.
#include "stats/Stats.h"

#include <syslog.h>

#include <functional>

#include "common/Configuration.h"
#include "server/Cors.h"
#include "server/Reply.h"

using Pistache::Http::Code;
using Pistache::Http::ResponseWriter;
using Pistache::Rest::Request;

namespace {

// Answers with `compute`'s value as styled JSON text (ending in a line feed)
// and Content-Type application/json. A StatsException is logged as
// "Stats error: %s"; it and any other error become 500 with the bare message.
// Callers: the seven JSON handlers.
void sendStyledJson(ResponseWriter& response, const std::function<Json::Value()>& compute) {
  Stats::addCORSHeaders(response);
  try {
    const std::string text = compute().toStyledString();
    response.headers().add<Pistache::Http::Header::ContentType>(MIME(Application, Json));
    response.send(Code::Ok, text);
  } catch (const StatsException& e) {
    syslog(LOG_ALERT, "Stats error: %s", e.what());
    reply::sendError(response, e.what());
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}

}  // namespace

void Stats::addCORSHeaders(ResponseWriter& response) { cors::addStatsSet(response); }

void Stats::handlegetStats(const Request&, ResponseWriter response) {
  sendStyledJson(response, [] { return get_stats(); });
}

void Stats::handlegetStatsPkts(const Request&, ResponseWriter response) {
  sendStyledJson(response, [] { return prepare_data("pkts"); });
}

void Stats::handlegetStatsAlerts(const Request&, ResponseWriter response) {
  sendStyledJson(response, [] { return prepare_resource_data("alerts"); });
}

void Stats::handlegetStatsCPU(const Request&, ResponseWriter response) {
  sendStyledJson(response, [] { return prepare_resource_data("CPU_percent"); });
}

void Stats::handlegetStatsVM(const Request&, ResponseWriter response) {
  sendStyledJson(response, [] { return prepare_resource_data("virtual_memory"); });
}

void Stats::handlegetStatsPM(const Request&, ResponseWriter response) {
  sendStyledJson(response, [] { return prepare_resource_data("physical_memory"); });
}

void Stats::handlegetHistogramm(const Request&, ResponseWriter response) {
  sendStyledJson(response, [] { return get_histogramm(); });
}

void Stats::handleCheckSuricataStatus(const Request&, ResponseWriter response) {
  addCORSHeaders(response);
  reply::sendText(response, Code::Ok,
                  isSuricataRunning() ? "Suricata is running\n" : "Suricata is not running\n");
}

void Stats::handleGetFileDate(const Request&, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    const std::string rulesFile = config::readString(config::kRulesFile);
    reply::sendText(response, Code::Ok, getLastModifiedDate(rulesFile));
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}
