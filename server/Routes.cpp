// The route table, one line per route, in registration order.
#include "server/Routes.h"

#include "events/Events.h"
#include "server/Preflight.h"
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
      {Method::Options, "/rules/toggle", &handlePreflightRequest},
      {Method::Options, "/rules/add/", &handlePreflightRequest},
      {Method::Options, "/rules/validate/", &handlePreflightRequest},
      {Method::Options, "/rules/delete/", &handlePreflightRequest},
      {Method::Options, "/rules/update/", &handlePreflightRequest},
      {Method::Options, "/rules/additional/update/", &handlePreflightRequest},
      {Method::Options, "/validate_rule_endpoint", &handlePreflightRequest},
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
  };
  return kTable;
}
