// The registered route table against the OpenAPI document kept in docs/: the
// same routes in the same order, and the preflight on exactly the OPTIONS rows.
#include "server/Routes.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <simdjson.h>

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

TEST(RoutesTest, EveryOptionsRouteIsThePreflightAndOnlyThose) {
  for (const RouteEntry& route : routeTable()) {
    EXPECT_EQ(route.method == Method::Options, route.handler == &handlePreflightRequest)
        << route.path;
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
    EXPECT_EQ(methodName(table[i].method), documented[i].first) << "row " << i + 1;
    EXPECT_EQ(documentedPath(table[i].path), documented[i].second) << "row " << i + 1;
    EXPECT_NE(table[i].handler, nullptr) << "row " << i + 1;
  }
}

}  // namespace
