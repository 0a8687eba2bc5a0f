// The registered route table against the OpenAPI document kept in docs/: the
// same routes in the same order, and the preflight on exactly the OPTIONS rows.
#include "server/Routes.h"

#include <gtest/gtest.h>
#include <simdjson.h>

#include <string>
#include <utility>
#include <vector>

#include "http/Preflight.h"
#include "http/Router.h"

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
// would hold that thread for the whole wait. Only a body that just reads may
// be stopped at its first check and run again: not a deletion, and not the
// stream, which takes a place among the streams before it reads.
TEST(RoutesTest, EveryEventListRowMayWaitOnTheLockAndOnlyReadsMoveAtTheFirstRead) {
  for (const RouteEntry& route : routeTable()) {
    const std::string path = route.path;
    if (route.kind.lock == http::LockWait::kMayAtFirstRead) {
      EXPECT_STREQ(route.method, "GET") << path;
      EXPECT_NE(path, "/events/stream/:event_type");
    }
    if (path.rfind("/events/", 0) != 0 || path == "/events/fast" || isOptions(route)) {
      continue;
    }
    EXPECT_NE(route.kind.lock, http::LockWait::kNever) << path;
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

// The router as the server fills it: every row of the table, in order.
http::Router tableRouter() {
  http::Router router;
  const std::vector<RouteEntry>& table = routeTable();
  for (size_t i = 0; i < table.size(); ++i) router.add(table[i].method, table[i].path, i);
  return router;
}

// Paths of the real table and their near misses (a segment too many or too
// few, a literal's prefix, another case), with the route they reach.
TEST(RoutesTest, RouterTakesEachPathToItsRowOrNone) {
  using Segments = std::vector<std::pair<std::string, std::string>>;
  const struct {
    const char* method;
    const char* path;
    const char* pattern;  // nullptr: no route of this method
    Segments segments;
  } cases[] = {
      {"GET", "/events/alert", "/events/:event_type", {{":event_type", "alert"}}},
      {"GET", "/events/count/alert", "/events/count/:event_type", {{":event_type", "alert"}}},
      {"GET", "/events/count", "/events/:event_type", {{":event_type", "count"}}},
      {"GET",
       "/events/alert/42",
       "/events/:event_type/:event_id",
       {{":event_type", "alert"}, {":event_id", "42"}}},
      {"GET", "/events/search/42", "/events/search/:flow_id", {{":flow_id", "42"}}},
      {"GET", "/events/fast", "/events/fast", {}},
      // "fast" has no child: the event by id takes it.
      {"GET",
       "/events/fast/x",
       "/events/:event_type/:event_id",
       {{":event_type", "fast"}, {":event_id", "x"}}},
      {"GET",
       "/events/delete/x",
       "/events/:event_type/:event_id",
       {{":event_type", "delete"}, {":event_id", "x"}}},
      {"DELETE", "/events/delete/x", "/events/delete/:event_type", {{":event_type", "x"}}},
      {"OPTIONS", "/events/delete/x/", "/events/delete/:event_type", {{":event_type", "x"}}},
      {"GET", "/events/alertsmap/", "/events/alertsmap", {}},
      {"GET", "/events/a%2Fb", "/events/:event_type", {{":event_type", "a%2Fb"}}},
      {"GET", "/rules", "/rules", {}},
      {"GET", "//rules//7/", "/rules/:sid", {{":sid", "7"}}},
      {"GET", "/rules/toggle", "/rules/:sid", {{":sid", "toggle"}}},
      {"POST", "/rules/toggle", "/rules/toggle/", {}},
      {"OPTIONS", "/rules/toggle/", "/rules/toggle", {}},
      {"GET", "/rules/search", "/rules/search", {}},
      {"GET", "/rules/additional", "/rules/:sid", {{":sid", "additional"}}},
      {"GET", "/rules/additional/status", "/rules/additional/status/", {}},
      {"GET",
       "/rules/signature/a%20b+c",
       "/rules/signature/:signature",
       {{":signature", "a%20b+c"}}},
      {"POST", "/validate_rule_endpoint/", "/validate_rule_endpoint", {}},
      {"GET", "/ioc", "/ioc/", {}},
      {"GET", "/ioc/filter/30", "/ioc/filter/:n_days", {{":n_days", "30"}}},
      {"GET", "/stats//", "/stats/", {}},
      {"GET", "/health/", "/health", {}},
      {"GET", "/openapi.json", "/openapi.json", {}},
      {"GET", "/", nullptr, {}},
      {"GET", "/events", nullptr, {}},
      {"GET", "/events/count/alert/x", nullptr, {}},
      {"GET", "/events/a/b/c", nullptr, {}},
      {"GET", "/rules/toggle/x", nullptr, {}},
      {"GET", "/rules/signature/a/b", nullptr, {}},
      {"GET", "/ioc/filter/", nullptr, {}},
      {"GET", "/ioc/filter/30/x", nullptr, {}},
      {"GET", "/RULES", nullptr, {}},
      {"GET", "/Rules/7", nullptr, {}},
      {"GET", "/healthz", nullptr, {}},
      {"GET", "/suricata", nullptr, {}},
      {"GET", "/stats/cpu/x", nullptr, {}},
      {"GET", "/stats/./", nullptr, {}},
      {"GET", "/stats/../stats/", nullptr, {}},
      {"POST", "/rules/toggle/x", nullptr, {}},
      {"DELETE", "/events/delete", nullptr, {}},
  };
  const http::Router router = tableRouter();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.path);
    const http::Router::Match match = router.match(c.method, c.path);
    if (c.pattern == nullptr) {
      EXPECT_NE(match.outcome, http::Router::Outcome::kFound);
      continue;
    }
    ASSERT_EQ(match.outcome, http::Router::Outcome::kFound);
    EXPECT_STREQ(routeTable()[match.route].path, c.pattern);
    EXPECT_EQ(std::string(routeTable()[match.route].method), c.method);
    EXPECT_EQ(match.segments, c.segments);
  }
}

// The methods that have a path, in the order the replies list them: the
// latest method to appear in the table first.
TEST(RoutesTest, RouterAllowsWhatOtherMethodsHave) {
  const struct {
    const char* method;
    const char* path;
    const char* allow;  // "": no route of any method
  } cases[] = {
      {"POST", "/rules", "GET"},
      {"OPTIONS", "/rules", "GET"},
      {"HEAD", "/rules/7", "GET"},
      {"PUT", "/events/delete/x", "OPTIONS, DELETE, GET"},
      {"POST", "/events/delete/x", "OPTIONS, DELETE, GET"},
      {"GET", "/events/delete/x/y", ""},
      {"DELETE", "/events/delete", "GET"},
      {"PUT", "/rules/toggle/", "POST, OPTIONS, GET"},
      {"DELETE", "/rules/add", "POST, OPTIONS, GET"},
      {"GET", "/validate_rule_endpoint", "POST, OPTIONS"},
      {"GET", "/suppressions/add/", "POST, OPTIONS"},
      {"GET", "/ioc/toggle/", "POST, OPTIONS"},
      {"GET", "/ioc/rules/modify", "POST, OPTIONS"},
      {"POST", "/ioc/rules/status/", "GET"},
      {"PATCH", "/rules/additional/update/", "POST, OPTIONS"},
      {"get", "/rules", "GET"},
      {"POST", "/nope", ""},
      {"OPTIONS", "/", ""},
  };
  const http::Router router = tableRouter();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.path);
    const http::Router::Match match = router.match(c.method, c.path);
    EXPECT_EQ(match.outcome, *c.allow == '\0' ? http::Router::Outcome::kNotFound
                                              : http::Router::Outcome::kNotAllowed);
    EXPECT_EQ(match.allow, c.allow);
  }
}

}  // namespace
