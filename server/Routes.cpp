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

namespace {

// Where a row's body runs (http/Frame.h): on the HTTP thread, on the Redis
// pool, on the scan pool, or on the slow pool; "Locked" rows may wait on
// lock:ferryd and move to the slow pool, before their body runs, while the
// companion daemon holds it; "Read" rows, whose bodies only read, move at
// their first lock check, which goes with their first read.
constexpr http::RouteKind kHttp{http::Work::kCheap, http::LockWait::kNever};
constexpr http::RouteKind kRedisLocked{http::Work::kRedis, http::LockWait::kMay};
constexpr http::RouteKind kRedisRead{http::Work::kRedis, http::LockWait::kMayAtFirstRead};
constexpr http::RouteKind kScan{http::Work::kScan, http::LockWait::kNever};
constexpr http::RouteKind kScanLocked{http::Work::kScan, http::LockWait::kMay};
constexpr http::RouteKind kSlow{http::Work::kSlow, http::LockWait::kNever};

}  // namespace

const std::vector<RouteEntry>& routeTable() {
  static const std::vector<RouteEntry> kTable = {
      {"GET", "/events/:event_type", kRedisRead, Events::HandlegetEventsByType()},
      {"GET", "/events/count/:event_type", kRedisRead, Events::HandlegetEventsCountByType()},
      {"GET", "/events/:event_type/:event_id", kRedisRead, Events::HandlegetEventById()},
      {"GET", "/events/search/:flow_id", kScanLocked, Events::HandlesearchEventByFlowId()},
      {"GET", "/events/stream/:event_type", kRedisLocked, Events::HandlegetEventStream()},
      {"DELETE", "/events/delete/:event_type", kRedisLocked, Events::HandledeleteEvents()},
      {"OPTIONS", "/events/delete/:event_type", kHttp, http::preflight()},
      {"GET", "/events/find/:event_type", kRedisRead, Events::HandlegetEventsByParameters()},
      {"GET", "/events/check/:event_type", kRedisRead, Events::getEventsByTimeshift()},
      {"GET", "/events/fast", kHttp, Events::handleFastLogRequest()},
      {"GET", "/events/alertsmap", kRedisRead, Events::HandlegetAlertsShortEvents()},
      {"GET", "/events/alertssignatures", kScanLocked, Events::HandlegetAlertsSignatures()},
      {"GET", "/events/alertsbyhours", kScanLocked, Events::HandlegetAlertsByHours()},
      {"GET", "/events/anomaliesbyhours", kScanLocked, Events::HandlegetAnomaliesByHours()},
      {"GET", "/rules", kHttp, Rules::HandlegetRules()},
      {"GET", "/rules/:sid", kHttp, Rules::HandlegetRuleBySid()},
      {"GET", "/rules/action/:action", kHttp, Rules::HandlegetRulesByAction()},
      {"GET", "/rules/status/:status", kHttp, Rules::HandlegetRulesByStatus()},
      {"GET", "/rules/protocol/:proto", kHttp, Rules::HandlegetRulesByProtocol()},
      {"GET", "/rules/search", kHttp, Rules::search_rules()},
      {"POST", "/rules/toggle/", kHttp, Rules::toggle_rule()},
      {"OPTIONS", "/rules/toggle", kHttp, http::preflight()},
      {"POST", "/rules/add/", kSlow, Rules::add_rule()},
      {"OPTIONS", "/rules/add/", kHttp, http::preflight()},
      {"POST", "/rules/validate/", kSlow, Rules::handleValidateRuleRequest()},
      {"OPTIONS", "/rules/validate/", kHttp, http::preflight()},
      {"POST", "/rules/delete/", kHttp, Rules::handleDeleteRuleRequest()},
      {"OPTIONS", "/rules/delete/", kHttp, http::preflight()},
      {"POST", "/rules/update/", kHttp, Rules::handleUpdateRuleRequest()},
      {"OPTIONS", "/rules/update/", kHttp, http::preflight()},
      {"GET", "/rules/additional/status/", kHttp, Rules::handleGetAdditionalRulesStatus()},
      {"POST", "/rules/additional/update/", kHttp, Rules::handleUpdateAdditionalRulesFile()},
      {"OPTIONS", "/rules/additional/update/", kHttp, http::preflight()},
      {"POST", "/validate_rule_endpoint", kSlow, Rules::handleValidateRuleRequest()},
      {"OPTIONS", "/validate_rule_endpoint", kHttp, http::preflight()},
      {"GET", "/suricata/reload/", kSlow, Rules::handlereloadSuricata()},
      {"GET", "/rules/reload/blocking", kSlow, Rules::reloadRulesBlocking()},
      {"GET", "/rules/reload/nonblocking", kSlow, Rules::reloadRulesNonBlocking()},
      {"GET", "/rules/duplicated/:sid", kHttp, Rules::HandlegetDuplicatedRulesBySid()},
      {"GET", "/suricata/start/", kSlow, Rules::handlestartSuricata()},
      {"GET", "/suricata/stop/", kSlow, Rules::handlestopSuricata()},
      {"GET", "/suricata/update/", kSlow, Rules::handleupdateSuricataRules()},
      {"GET", "/rules/signature/:signature", kHttp, Rules::HandlegetRulesBySignature()},
      {"GET", "/daemon/start/", kSlow, Rules::handlestartDaemon()},
      {"GET", "/daemon/stop/", kSlow, Rules::handlestopDaemon()},
      {"GET", "/suppressions/", kHttp, Rules::handleGetSuppressions()},
      {"POST", "/suppressions/add/", kSlow, Rules::handleAddSuppression()},
      {"OPTIONS", "/suppressions/add/", kHttp, http::preflight()},
      {"POST", "/suppressions/delete/", kSlow, Rules::handleDeleteSuppression()},
      {"OPTIONS", "/suppressions/delete/", kHttp, http::preflight()},
      {"GET", "/ioc/download/", kSlow, Threats::handleDownloadRequest()},
      {"GET", "/ioc/filter/:n_days", kSlow, Threats::getRecentThreats()},
      {"GET", "/ioc/", kScan, Threats::handleGetThreats()},
      {"GET", "/ioc/ioc_type/:ioc_type", kScan, Threats::handleFindThreatsByIocType()},
      {"GET", "/ioc/ioc_id/:id", kScan, Threats::handleFindThreatsById()},
      {"GET", "/ioc/ioc_status/:status", kScan, Threats::handleFindThreatsByStatus()},
      {"POST", "/ioc/toggle/", kScan, Threats::handleToggleThreatStatus()},
      {"OPTIONS", "/ioc/toggle/", kHttp, http::preflight()},
      {"GET", "/ioc/fetch/", kSlow, Threats::handleFetchIocs()},
      {"GET", "/ioc/rules/status/", kHttp, Threats::handlegetThreatsRuleFilesStatus()},
      {"POST", "/ioc/rules/modify/", kSlow, Threats::handlemodifyRuleFilesStatus()},
      {"OPTIONS", "/ioc/rules/modify/", kHttp, http::preflight()},
      {"GET", "/stats/", kScan, Stats::handlegetStats()},
      {"GET", "/stats/pkts/", kScanLocked, Stats::handlegetStatsPkts()},
      {"GET", "/stats/alerts/", kScanLocked, Stats::handlegetStatsAlerts()},
      {"GET", "/stats/cpu/", kScanLocked, Stats::handlegetStatsCPU()},
      {"GET", "/stats/vm/", kScanLocked, Stats::handlegetStatsVM()},
      {"GET", "/stats/pm/", kScanLocked, Stats::handlegetStatsPM()},
      {"GET", "/stats/histogramm/", kRedisRead, Stats::handlegetHistogramm()},
      {"GET", "/suricata/running/", kSlow, Stats::handleCheckSuricataStatus()},
      {"GET", "/stats/update/", kHttp, Stats::handleGetFileDate()},
      {"GET", "/net/map/", kSlow, Net::HandlegetNetworkMap()},
      {"GET", "/net/historicalmap/", kScanLocked, Net::HandlegetHistoricalNetworkMap()},
      {"GET", "/health", kHttp, Ops::handleHealth()},
      {"GET", "/metrics", kHttp, Ops::handleMetrics()},
      {"GET", "/openapi.json", kHttp, Ops::handleOpenApi()},
      {"GET", "/docs", kHttp, Ops::handleDocs()},
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
