// The route table, one line per route, in registration order.
#include "server/Routes.h"

#include "events/Events.h"
#include "http/Preflight.h"
#include "net/Net.h"
#include "ops/Ops.h"
#include "rules/Rules.h"
#include "stats/Stats.h"
#include "threats/Threats.h"

using Pistache::Http::Method;

const std::vector<RouteEntry>& routeTable() {
  static const std::vector<RouteEntry> kTable = {
      {Method::Get, "/events/:event_type", &Events::HandlegetEventsByType},
      {Method::Get, "/events/count/:event_type", &Events::HandlegetEventsCountByType},
      {Method::Get, "/events/:event_type/:event_id", &Events::HandlegetEventById},
      {Method::Get, "/events/search/:flow_id", &Events::HandlesearchEventByFlowId},
      {Method::Delete, "/events/delete/:event_type", &Events::HandledeleteEvents},
      {Method::Options, "/events/delete/:event_type", &handlePreflightRequest},
      {Method::Get, "/events/find/:event_type", &Events::HandlegetEventsByParameters},
      {Method::Get, "/events/check/:event_type", &Events::getEventsByTimeshift},
      {Method::Get, "/events/fast", &Events::handleFastLogRequest},
      {Method::Get, "/events/alertsmap", &Events::HandlegetAlertsShortEvents},
      {Method::Get, "/events/alertssignatures", &Events::HandlegetAlertsSignatures},
      {Method::Get, "/events/alertsbyhours", &Events::HandlegetAlertsByHours},
      {Method::Get, "/events/anomaliesbyhours", &Events::HandlegetAnomaliesByHours},
      {Method::Get, "/rules", &Rules::HandlegetRules},
      {Method::Get, "/rules/:sid", &Rules::HandlegetRuleBySid},
      {Method::Get, "/rules/action/:action", &Rules::HandlegetRulesByAction},
      {Method::Get, "/rules/status/:status", &Rules::HandlegetRulesByStatus},
      {Method::Get, "/rules/protocol/:proto", &Rules::HandlegetRulesByProtocol},
      {Method::Get, "/rules/search", &Rules::search_rules},
      {Method::Post, "/rules/toggle/", &Rules::toggle_rule},
      {Method::Options, "/rules/toggle", &handlePreflightRequest},
      {Method::Post, "/rules/add/", &Rules::add_rule},
      {Method::Options, "/rules/add/", &handlePreflightRequest},
      {Method::Post, "/rules/validate/", &Rules::handleValidateRuleRequest},
      {Method::Options, "/rules/validate/", &handlePreflightRequest},
      {Method::Post, "/rules/delete/", &Rules::handleDeleteRuleRequest},
      {Method::Options, "/rules/delete/", &handlePreflightRequest},
      {Method::Post, "/rules/update/", &Rules::handleUpdateRuleRequest},
      {Method::Options, "/rules/update/", &handlePreflightRequest},
      {Method::Get, "/rules/additional/status/", &Rules::handleGetAdditionalRulesStatus},
      {Method::Post, "/rules/additional/update/", &Rules::handleUpdateAdditionalRulesFile},
      {Method::Options, "/rules/additional/update/", &handlePreflightRequest},
      {Method::Post, "/validate_rule_endpoint", &Rules::handleValidateRuleRequest},
      {Method::Options, "/validate_rule_endpoint", &handlePreflightRequest},
      {Method::Get, "/suricata/reload/", &Rules::handlereloadSuricata},
      {Method::Get, "/rules/reload/blocking", &Rules::reloadRulesBlocking},
      {Method::Get, "/rules/reload/nonblocking", &Rules::reloadRulesNonBlocking},
      {Method::Get, "/rules/duplicated/:sid", &Rules::HandlegetDuplicatedRulesBySid},
      {Method::Get, "/suricata/start/", &Rules::handlestartSuricata},
      {Method::Get, "/suricata/stop/", &Rules::handlestopSuricata},
      {Method::Get, "/suricata/update/", &Rules::handleupdateSuricataRules},
      {Method::Get, "/rules/signature/:signature", &Rules::HandlegetRulesBySignature},
      {Method::Get, "/daemon/start/", &Rules::handlestartDaemon},
      {Method::Get, "/daemon/stop/", &Rules::handlestopDaemon},
      {Method::Get, "/suppressions/", &Rules::handleGetSuppressions},
      {Method::Post, "/suppressions/add/", &Rules::handleAddSuppression},
      {Method::Options, "/suppressions/add/", &handlePreflightRequest},
      {Method::Post, "/suppressions/delete/", &Rules::handleDeleteSuppression},
      {Method::Options, "/suppressions/delete/", &handlePreflightRequest},
      {Method::Get, "/ioc/download/", &Threats::handleDownloadRequest},
      {Method::Get, "/ioc/filter/:n_days", &Threats::getRecentThreats},
      {Method::Get, "/ioc/", &Threats::handleGetThreats},
      {Method::Get, "/ioc/ioc_type/:ioc_type", &Threats::handleFindThreatsByIocType},
      {Method::Get, "/ioc/ioc_id/:id", &Threats::handleFindThreatsById},
      {Method::Get, "/ioc/ioc_status/:status", &Threats::handleFindThreatsByStatus},
      {Method::Post, "/ioc/toggle/", &Threats::handleToggleThreatStatus},
      {Method::Options, "/ioc/toggle/", &handlePreflightRequest},
      {Method::Get, "/ioc/fetch/", &Threats::handleFetchIocs},
      {Method::Get, "/ioc/rules/status/", &Threats::handlegetThreatsRuleFilesStatus},
      {Method::Post, "/ioc/rules/modify/", &Threats::handlemodifyRuleFilesStatus},
      {Method::Options, "/ioc/rules/modify/", &handlePreflightRequest},
      {Method::Get, "/stats/", &Stats::handlegetStats},
      {Method::Get, "/stats/pkts/", &Stats::handlegetStatsPkts},
      {Method::Get, "/stats/alerts/", &Stats::handlegetStatsAlerts},
      {Method::Get, "/stats/cpu/", &Stats::handlegetStatsCPU},
      {Method::Get, "/stats/vm/", &Stats::handlegetStatsVM},
      {Method::Get, "/stats/pm/", &Stats::handlegetStatsPM},
      {Method::Get, "/stats/histogramm/", &Stats::handlegetHistogramm},
      {Method::Get, "/suricata/running/", &Stats::handleCheckSuricataStatus},
      {Method::Get, "/stats/update/", &Stats::handleGetFileDate},
      {Method::Get, "/net/map/", &Net::HandlegetNetworkMap},
      {Method::Get, "/net/historicalmap/", &Net::HandlegetHistoricalNetworkMap},
      {Method::Get, "/health", &Ops::handleHealth},
      {Method::Get, "/metrics", &Ops::handleMetrics},
      {Method::Get, "/openapi.json", &Ops::handleOpenApi},
      {Method::Get, "/docs", &Ops::handleDocs},
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
