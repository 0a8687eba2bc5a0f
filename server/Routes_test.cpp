// The registered route table against the API's full list of routes, in
// registration order, and against the OpenAPI document kept in docs/.
#include "server/Routes.h"

#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <json/json.h>

#include "http/Preflight.h"

namespace {

using Pistache::Http::Method;

std::string methodName(Method method) {
  switch (method) {
    case Method::Get: return "GET";
    case Method::Post: return "POST";
    case Method::Delete: return "DELETE";
    case Method::Options: return "OPTIONS";
    default: return "OTHER";
  }
}

const std::vector<std::pair<std::string, std::string>> kExpected = {
      {"GET", "/events/:event_type"},
      {"GET", "/events/count/:event_type"},
      {"GET", "/events/:event_type/:event_id"},
      {"GET", "/events/search/:flow_id"},
      {"DELETE", "/events/delete/:event_type"},
      {"OPTIONS", "/events/delete/:event_type"},
      {"GET", "/events/find/:event_type"},
      {"GET", "/events/check/:event_type"},
      {"GET", "/events/fast"},
      {"GET", "/events/alertsmap"},
      {"GET", "/events/alertssignatures"},
      {"GET", "/events/alertsbyhours"},
      {"GET", "/events/anomaliesbyhours"},
      {"GET", "/rules"},
      {"GET", "/rules/:sid"},
      {"GET", "/rules/action/:action"},
      {"GET", "/rules/status/:status"},
      {"GET", "/rules/protocol/:proto"},
      {"GET", "/rules/search"},
      {"POST", "/rules/toggle/"},
      {"OPTIONS", "/rules/toggle"},
      {"POST", "/rules/add/"},
      {"OPTIONS", "/rules/add/"},
      {"POST", "/rules/validate/"},
      {"OPTIONS", "/rules/validate/"},
      {"POST", "/rules/delete/"},
      {"OPTIONS", "/rules/delete/"},
      {"POST", "/rules/update/"},
      {"OPTIONS", "/rules/update/"},
      {"GET", "/rules/additional/status/"},
      {"POST", "/rules/additional/update/"},
      {"OPTIONS", "/rules/additional/update/"},
      {"POST", "/validate_rule_endpoint"},
      {"OPTIONS", "/validate_rule_endpoint"},
      {"GET", "/suricata/reload/"},
      {"GET", "/rules/reload/blocking"},
      {"GET", "/rules/reload/nonblocking"},
      {"GET", "/rules/duplicated/:sid"},
      {"GET", "/suricata/start/"},
      {"GET", "/suricata/stop/"},
      {"GET", "/suricata/update/"},
      {"GET", "/rules/signature/:signature"},
      {"GET", "/daemon/start/"},
      {"GET", "/daemon/stop/"},
      {"GET", "/ioc/download/"},
      {"GET", "/ioc/filter/:n_days"},
      {"GET", "/ioc/"},
      {"GET", "/ioc/ioc_type/:ioc_type"},
      {"GET", "/ioc/ioc_id/:id"},
      {"GET", "/ioc/ioc_status/:status"},
      {"POST", "/ioc/toggle/"},
      {"OPTIONS", "/ioc/toggle/"},
      {"GET", "/ioc/fetch/"},
      {"GET", "/ioc/rules/status/"},
      {"POST", "/ioc/rules/modify/"},
      {"OPTIONS", "/ioc/rules/modify/"},
      {"GET", "/stats/"},
      {"GET", "/stats/pkts/"},
      {"GET", "/stats/alerts/"},
      {"GET", "/stats/cpu/"},
      {"GET", "/stats/vm/"},
      {"GET", "/stats/pm/"},
      {"GET", "/stats/histogramm/"},
      {"GET", "/suricata/running/"},
      {"GET", "/stats/update/"},
      {"GET", "/net/map/"},
      {"GET", "/net/historicalmap/"},
};

TEST(RoutesTest, TableHoldsEveryRouteInRegistrationOrder) {
  const std::vector<RouteEntry>& table = routeTable();
  ASSERT_EQ(table.size(), kExpected.size());
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(methodName(table[i].method), kExpected[i].first) << "row " << i + 1;
    EXPECT_EQ(table[i].path, kExpected[i].second) << "row " << i + 1;
    EXPECT_NE(table[i].handler, nullptr) << "row " << i + 1;
  }
}

TEST(RoutesTest, EveryOptionsRouteIsThePreflightAndOnlyThose) {
  for (const RouteEntry& route : routeTable()) {
    EXPECT_EQ(route.method == Method::Options, route.handler == &handlePreflightRequest)
        << route.path;
  }
}

// The OpenAPI document for the front end's developers lists exactly the
// registered routes ("{name}" where the router writes ":name").
TEST(RoutesTest, OpenApiDocumentListsExactlyTheRegisteredRoutes) {
  std::ifstream in(std::string(PAVORA_SOURCE_DIR) + "/docs/openapi.json");
  ASSERT_TRUE(in) << "docs/openapi.json is missing";
  Json::Value document;
  Json::CharReaderBuilder builder;
  std::string error;
  ASSERT_TRUE(Json::parseFromStream(builder, in, &document, &error)) << error;

  std::set<std::pair<std::string, std::string>> documented;
  for (const std::string& path : document["paths"].getMemberNames()) {
    for (const std::string& method : document["paths"][path].getMemberNames()) {
      if (method == "parameters" || method == "summary" || method == "description") continue;
      std::string upper;
      for (char c : method) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      documented.emplace(upper, path);
    }
  }
  std::set<std::pair<std::string, std::string>> registered;
  for (const RouteEntry& route : routeTable()) {
    std::string path;
    for (size_t i = 0; route.path[i] != '\0'; ++i) {
      if (route.path[i] != ':') {
        path += route.path[i];
        continue;
      }
      size_t end = i + 1;
      while (route.path[end] != '\0' && route.path[end] != '/') ++end;
      path += "{" + std::string(route.path + i + 1, end - i - 1) + "}";
      i = end - 1;
    }
    registered.emplace(methodName(route.method), path);
  }
  EXPECT_EQ(documented, registered);
}

}  // namespace
