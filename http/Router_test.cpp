// The router on small tables of its own: how a path is cut into segments,
// which route wins, what a named segment holds, and the Allow list of a
// path that other methods have. The real route table is tested in
// server/Routes_test.cpp.
#include "http/Router.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

using Outcome = http::Router::Outcome;
using Segments = std::vector<std::pair<std::string, std::string>>;

// Route 0 "/a/:x", 1 "/a/b", 2 "/a/:x/:y", 3 "/" ... one per line below.
http::Router small() {
  http::Router router;
  router.add("GET", "/a/:x", 0);
  router.add("GET", "/a/b", 1);
  router.add("GET", "/a/:x/:y", 2);
  router.add("GET", "/c/d/", 3);
  router.add("GET", "/c/d/e", 4);
  router.add("GET", "/f", 5);
  return router;
}

TEST(RouterTest, PathsAreCutAtSlashRunsWithTheTrailingSlashIgnored) {
  const http::Router router = small();
  const struct {
    const char* path;
    bool found;
    size_t route;
  } cases[] = {
      {"/f", true, 5},
      {"/f/", true, 5},
      {"//f", true, 5},
      {"/f//", true, 5},
      {"///f///", true, 5},
      {"/c/d", true, 3},
      {"/c/d/", true, 3},
      {"/c//d", true, 3},
      {"/c/d/e", true, 4},
      {"/a//b", true, 1},
      {"/a/b/", true, 1},
      {"/", false, 0},
      {"//", false, 0},
      {"", false, 0},
      {"/F", false, 0},
      {"/f/g", false, 0},
      {"/ff", false, 0},
      {"/c", false, 0},
      {"/c/d/e/f", false, 0},
      // The first character is dropped whatever it is.
      {"xf", true, 5},
      {"x/f", false, 0},
      {"f", false, 0},
      {"//c/d/", true, 3},
  };
  for (const auto& c : cases) {
    const http::Router::Match match = router.match("GET", c.path);
    EXPECT_EQ(match.outcome, c.found ? Outcome::kFound : Outcome::kNotFound) << c.path;
    if (c.found) {
      EXPECT_EQ(match.route, c.route) << c.path;
    }
  }
}

TEST(RouterTest, LiteralSegmentWinsAndAFailedLiteralBranchFallsBackToTheNamedOne) {
  const http::Router router = small();
  const struct {
    const char* path;
    size_t route;
    Segments segments;
  } cases[] = {
      {"/a/b", 1, {}},
      {"/a/c", 0, {{":x", "c"}}},
      // "b" has no child: the named segment takes it.
      {"/a/b/z", 2, {{":x", "b"}, {":y", "z"}}},
      {"/a/c/z/", 2, {{":x", "c"}, {":y", "z"}}},
      // Values are the path's raw text.
      {"/a/%2F", 0, {{":x", "%2F"}}},
      {"/a/a%20b/+", 2, {{":x", "a%20b"}, {":y", "+"}}},
      {"/a/./..", 2, {{":x", "."}, {":y", ".."}}},
      {"/a/:x", 0, {{":x", ":x"}}},
      {"/a/?q#f", 0, {{":x", "?q#f"}}},
  };
  for (const auto& c : cases) {
    const http::Router::Match match = router.match("GET", c.path);
    ASSERT_EQ(match.outcome, Outcome::kFound) << c.path;
    EXPECT_EQ(match.route, c.route) << c.path;
    EXPECT_EQ(match.segments, c.segments) << c.path;
  }
  // A segment too many for every branch.
  EXPECT_EQ(router.match("GET", "/a/b/z/w").outcome, Outcome::kNotFound);
}

TEST(RouterTest, EmptySegmentOfAPathWithoutLeadingSlashIsAValue) {
  http::Router router;
  router.add("GET", "/:x/b", 0);
  const http::Router::Match match = router.match("GET", "x/b");
  ASSERT_EQ(match.outcome, Outcome::kFound);
  EXPECT_EQ(match.segments, (Segments{{":x", ""}}));
  EXPECT_EQ(router.match("GET", "x/").outcome, Outcome::kNotFound);
}

TEST(RouterTest, OtherMethodsAreListedLatestFirstAndTheRequestsOwnNever) {
  http::Router router;
  router.add("GET", "/p/:x", 0);
  router.add("DELETE", "/p/d", 1);
  router.add("OPTIONS", "/p/d", 2);
  router.add("POST", "/p/d", 3);
  router.add("GET", "/q", 4);
  const struct {
    const char* method;
    const char* path;
    Outcome outcome;
    const char* allow;
  } cases[] = {
      {"PUT", "/p/d", Outcome::kNotAllowed, "POST, OPTIONS, DELETE, GET"},
      {"HEAD", "/p/d/", Outcome::kNotAllowed, "POST, OPTIONS, DELETE, GET"},
      {"get", "/p/d", Outcome::kNotAllowed, "POST, OPTIONS, DELETE, GET"},
      {"PUT", "/p/x", Outcome::kNotAllowed, "GET"},
      {"POST", "/q", Outcome::kNotAllowed, "GET"},
      {"PUT", "/p", Outcome::kNotFound, ""},
      {"GET", "/r", Outcome::kNotFound, ""},
      {"OPTIONS", "/", Outcome::kNotFound, ""},
  };
  for (const auto& c : cases) {
    const http::Router::Match match = router.match(c.method, c.path);
    EXPECT_EQ(match.outcome, c.outcome) << c.method << " " << c.path;
    EXPECT_EQ(match.allow, c.allow) << c.method << " " << c.path;
  }
  // The own method's tree answers first; the others are not searched.
  EXPECT_EQ(router.match("GET", "/p/d").route, 0u);
  EXPECT_EQ(router.match("POST", "/p/d").route, 3u);
}

TEST(RouterTest, SamePatternTwiceForOneMethodIsRefused) {
  http::Router router;
  router.add("POST", "/rules/toggle/", 0);
  router.add("OPTIONS", "/rules/toggle", 1);
  EXPECT_THROW(router.add("POST", "//rules/toggle", 2), std::invalid_argument);
  EXPECT_EQ(router.match("POST", "/rules/toggle").route, 0u);
}

TEST(RouterTest, LongPathsAreWalkedOnlyAsDeepAsTheTree) {
  http::Router router;
  router.add("GET", "/a/:x", 0);
  std::string path;
  for (int i = 0; i < 4000; ++i) path += "/a";
  EXPECT_EQ(router.match("GET", path).outcome, Outcome::kNotFound);
  EXPECT_EQ(router.match("GET", "/a/" + std::string(100000, 'x')).segments[0].second.size(),
            100000u);
  EXPECT_EQ(router.match("GET", "/a" + std::string(100000, '/') + "y").outcome, Outcome::kFound);
}

}  // namespace
