// The route table, one line per route, in registration order: method,
// pattern, where the body runs, and the handler of the subsystem that owns it.
#include "server/Routes.h"

#include "events/Events.h"
#include "http/Preflight.h"
#include "net/Net.h"
#include "ops/Ops.h"
#include "rules/Rules.h"
#include "stats/Stats.h"
#include "threats/Threats.h"

using Pistache::Http::Method;

namespace {

// Where a row's body runs (http/Frame.h): on the HTTP thread, on the scan
// pool, or on the slow pool; "Locked" rows may wait on lock:ferryd and move
// to the slow pool, before their body runs, while the companion daemon holds it.
constexpr http::RouteKind kHttp{http::Work::kCheap, http::LockWait::kNever};
constexpr http::RouteKind kHttpLocked{http::Work::kCheap, http::LockWait::kMay};
constexpr http::RouteKind kScan{http::Work::kScan, http::LockWait::kNever};
constexpr http::RouteKind kScanLocked{http::Work::kScan, http::LockWait::kMay};
constexpr http::RouteKind kSlow{http::Work::kSlow, http::LockWait::kNever};

}  // namespace

const std::vector<RouteEntry>& routeTable() {
  static const std::vector<RouteEntry> kTable = {
      {Method::Get, "/events/:event_type", kHttpLocked, Events::HandlegetEventsByType()},
      {Method::Get, "/events/count/:event_type", kHttpLocked, Events::HandlegetEventsCountByType()},
      {Method::Get, "/events/:event_type/:event_id", kHttpLocked, Events::HandlegetEventById()},
      {Method::Get, "/events/search/:flow_id", kScanLocked, Events::HandlesearchEventByFlowId()},
      {Method::Get, "/events/stream/:event_type", kHttpLocked, Events::HandlegetEventStream()},
      {Method::Delete, "/events/delete/:event_type", kHttpLocked, Events::HandledeleteEvents()},
      {Method::Options, "/events/delete/:event_type", kHttp, http::preflight()},
      {Method::Get, "/events/find/:event_type", kHttpLocked, Events::HandlegetEventsByParameters()},
      {Method::Get, "/events/check/:event_type", kHttpLocked, Events::getEventsByTimeshift()},
      {Method::Get, "/events/fast", kHttp, Events::handleFastLogRequest()},
      {Method::Get, "/events/alertsmap", kHttpLocked, Events::HandlegetAlertsShortEvents()},
      {Method::Get, "/events/alertssignatures", kScanLocked, Events::HandlegetAlertsSignatures()},
      {Method::Get, "/events/alertsbyhours", kScanLocked, Events::HandlegetAlertsByHours()},
      {Method::Get, "/events/anomaliesbyhours", kScanLocked, Events::HandlegetAnomaliesByHours()},
      {Method::Get, "/rules", kHttp, Rules::HandlegetRules()},
      {Method::Get, "/rules/:sid", kHttp, Rules::HandlegetRuleBySid()},
      {Method::Get, "/rules/action/:action", kHttp, Rules::HandlegetRulesByAction()},
      {Method::Get, "/rules/status/:status", kHttp, Rules::HandlegetRulesByStatus()},
      {Method::Get, "/rules/protocol/:proto", kHttp, Rules::HandlegetRulesByProtocol()},
      {Method::Get, "/rules/search", kHttp, Rules::search_rules()},
      {Method::Post, "/rules/toggle/", kHttp, Rules::toggle_rule()},
      {Method::Options, "/rules/toggle", kHttp, http::preflight()},
      {Method::Post, "/rules/add/", kSlow, Rules::add_rule()},
      {Method::Options, "/rules/add/", kHttp, http::preflight()},
      {Method::Post, "/rules/validate/", kSlow, Rules::handleValidateRuleRequest()},
      {Method::Options, "/rules/validate/", kHttp, http::preflight()},
      {Method::Post, "/rules/delete/", kHttp, Rules::handleDeleteRuleRequest()},
      {Method::Options, "/rules/delete/", kHttp, http::preflight()},
      {Method::Post, "/rules/update/", kHttp, Rules::handleUpdateRuleRequest()},
      {Method::Options, "/rules/update/", kHttp, http::preflight()},
      {Method::Get, "/rules/additional/status/", kHttp, Rules::handleGetAdditionalRulesStatus()},
      {Method::Post, "/rules/additional/update/", kHttp, Rules::handleUpdateAdditionalRulesFile()},
      {Method::Options, "/rules/additional/update/", kHttp, http::preflight()},
      {Method::Post, "/validate_rule_endpoint", kSlow, Rules::handleValidateRuleRequest()},
      {Method::Options, "/validate_rule_endpoint", kHttp, http::preflight()},
      {Method::Get, "/suricata/reload/", kSlow, Rules::handlereloadSuricata()},
      {Method::Get, "/rules/reload/blocking", kSlow, Rules::reloadRulesBlocking()},
      {Method::Get, "/rules/reload/nonblocking", kSlow, Rules::reloadRulesNonBlocking()},
      {Method::Get, "/rules/duplicated/:sid", kHttp, Rules::HandlegetDuplicatedRulesBySid()},
      {Method::Get, "/suricata/start/", kSlow, Rules::handlestartSuricata()},
      {Method::Get, "/suricata/stop/", kSlow, Rules::handlestopSuricata()},
      {Method::Get, "/suricata/update/", kSlow, Rules::handleupdateSuricataRules()},
      {Method::Get, "/rules/signature/:signature", kHttp, Rules::HandlegetRulesBySignature()},
      {Method::Get, "/daemon/start/", kSlow, Rules::handlestartDaemon()},
      {Method::Get, "/daemon/stop/", kSlow, Rules::handlestopDaemon()},
      {Method::Get, "/suppressions/", kHttp, Rules::handleGetSuppressions()},
      {Method::Post, "/suppressions/add/", kSlow, Rules::handleAddSuppression()},
      {Method::Options, "/suppressions/add/", kHttp, http::preflight()},
      {Method::Post, "/suppressions/delete/", kSlow, Rules::handleDeleteSuppression()},
      {Method::Options, "/suppressions/delete/", kHttp, http::preflight()},
      {Method::Get, "/ioc/download/", kSlow, Threats::handleDownloadRequest()},
      {Method::Get, "/ioc/filter/:n_days", kSlow, Threats::getRecentThreats()},
      {Method::Get, "/ioc/", kScan, Threats::handleGetThreats()},
      {Method::Get, "/ioc/ioc_type/:ioc_type", kScan, Threats::handleFindThreatsByIocType()},
      {Method::Get, "/ioc/ioc_id/:id", kScan, Threats::handleFindThreatsById()},
      {Method::Get, "/ioc/ioc_status/:status", kScan, Threats::handleFindThreatsByStatus()},
      {Method::Post, "/ioc/toggle/", kScan, Threats::handleToggleThreatStatus()},
      {Method::Options, "/ioc/toggle/", kHttp, http::preflight()},
      {Method::Get, "/ioc/fetch/", kSlow, Threats::handleFetchIocs()},
      {Method::Get, "/ioc/rules/status/", kHttp, Threats::handlegetThreatsRuleFilesStatus()},
      {Method::Post, "/ioc/rules/modify/", kSlow, Threats::handlemodifyRuleFilesStatus()},
      {Method::Options, "/ioc/rules/modify/", kHttp, http::preflight()},
      {Method::Get, "/stats/", kScan, Stats::handlegetStats()},
      {Method::Get, "/stats/pkts/", kScanLocked, Stats::handlegetStatsPkts()},
      {Method::Get, "/stats/alerts/", kScanLocked, Stats::handlegetStatsAlerts()},
      {Method::Get, "/stats/cpu/", kScanLocked, Stats::handlegetStatsCPU()},
      {Method::Get, "/stats/vm/", kScanLocked, Stats::handlegetStatsVM()},
      {Method::Get, "/stats/pm/", kScanLocked, Stats::handlegetStatsPM()},
      {Method::Get, "/stats/histogramm/", kHttpLocked, Stats::handlegetHistogramm()},
      {Method::Get, "/suricata/running/", kSlow, Stats::handleCheckSuricataStatus()},
      {Method::Get, "/stats/update/", kHttp, Stats::handleGetFileDate()},
      {Method::Get, "/net/map/", kSlow, Net::HandlegetNetworkMap()},
      {Method::Get, "/net/historicalmap/", kScanLocked, Net::HandlegetHistoricalNetworkMap()},
      {Method::Get, "/health", kHttp, Ops::handleHealth()},
      {Method::Get, "/metrics", kHttp, Ops::handleMetrics()},
      {Method::Get, "/openapi.json", kHttp, Ops::handleOpenApi()},
      {Method::Get, "/docs", kHttp, Ops::handleDocs()},
  };
  return kTable;
}

std::string documentedPath(const char* routerPath) {
  std::string path;
  for (size_t i = 0; routerPath[i] != '\0'; ++i) {
    if (routerPath[i] != ':') {
      path += routerPath[i];
      continue;
    }
    size_t end = i + 1;
    while (routerPath[end] != '\0' && routerPath[end] != '/') ++end;
    path += "{" + std::string(routerPath + i + 1, end - i - 1) + "}";
    i = end - 1;
  }
  return path;
}
