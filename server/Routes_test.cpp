// The registered route table against the OpenAPI document kept in docs/: the
// same routes in the same order, and the preflight on exactly the OPTIONS rows.
#include "server/Routes.h"

#include <gtest/gtest.h>
#include <simdjson.h>

#include <string>
#include <utility>
#include <vector>

#include "http/Preflight.h"

namespace {

bool isOptions(const RouteEntry& route) { return std::string(route.method) == "OPTIONS"; }

bool isPreflight(const http::Handler& handler) {
  using Plain = http::Reply (*)(const http::Request&);
  const Plain* body = handler.body.target<Plain>();
  return body != nullptr && *body == &http::preflightBody;
}

TEST(RoutesTest, EveryOptionsRouteIsThePreflightAndOnlyThose) {
  for (const RouteEntry& route : routeTable()) {
    EXPECT_EQ(isOptions(route), isPreflight(route.handler)) << route.path;
    if (!isOptions(route)) continue;
    EXPECT_EQ(route.handler.frame.cors, http::Cors::kRules) << route.path;
    EXPECT_EQ(route.kind.work, http::Work::kCheap) << route.path;
  }
}

// A row whose body reads the event lists may wait on the companion daemon's
// lock; one that runs on the HTTP thread or the scan pool without saying so
// would hold that thread for the whole wait.
TEST(RoutesTest, EveryEventListRowMayWaitOnTheLockAndMovesBeforeIt) {
  for (const RouteEntry& route : routeTable()) {
    const std::string path = route.path;
    if (path.rfind("/events/", 0) != 0 || path == "/events/fast" || isOptions(route)) {
      continue;
    }
    EXPECT_EQ(route.kind.lock, http::LockWait::kMay) << path;
  }
}

TEST(RoutesTest, DocumentedPathWritesEachNamedSegmentInBraces) {
  const struct {
    const char* router;
    const char* documented;
  } cases[] = {
      {"/rules", "/rules"},
      {"/events/:event_type", "/events/{event_type}"},
      {"/events/:event_type/:event_id", "/events/{event_type}/{event_id}"},
      {"/ioc/filter/:n_days", "/ioc/filter/{n_days}"},
      {"/rules/toggle/", "/rules/toggle/"},
      {"/a/:b/c", "/a/{b}/c"},
  };
  for (const auto& c : cases) EXPECT_EQ(documentedPath(c.router), c.documented) << c.router;
}

// (method, path) of every operation of the document, in the document's order.
std::vector<std::pair<std::string, std::string>> documentedRoutes(const std::string& file) {
  simdjson::dom::parser parser;
  const simdjson::dom::element document = parser.load(file);
  std::vector<std::pair<std::string, std::string>> routes;
  for (const auto path : document["paths"].get_object()) {
    for (const auto operation : path.value.get_object()) {
      const std::string method(operation.key);
      if (method == "parameters" || method == "summary" || method == "description") continue;
      std::string upper;
      for (char c : method) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      routes.emplace_back(upper, std::string(path.key));
    }
  }
  return routes;
}

// The OpenAPI document for the front end's developers is the list of routes:
// the registered table holds exactly its operations, in its order.
TEST(RoutesTest, TableRegistersTheOpenApiDocumentsRoutesInItsOrder) {
  const auto documented = documentedRoutes(std::string(PAVORA_SOURCE_DIR) + "/docs/openapi.json");
  const std::vector<RouteEntry>& table = routeTable();
  ASSERT_EQ(table.size(), documented.size());
  for (size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(std::string(table[i].method), documented[i].first) << "row " << i + 1;
    EXPECT_EQ(documentedPath(table[i].path), documented[i].second) << "row " << i + 1;
    EXPECT_TRUE(table[i].handler.body) << "row " << i + 1;
  }
}

}  // namespace
