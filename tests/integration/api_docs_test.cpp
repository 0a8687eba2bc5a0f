// The API's own description: /openapi.json serves the document of the source
// tree it was built from, and /docs a page made from it that a real browser
// shows with every route of the route table and without running anything.
#include <string>

#include "common/BuildSettings.h"
#include "server/Routes.h"
#include "support/Browser.h"
#include "support/Harness.h"

namespace {

using harness::get;
using harness::HttpReply;

class ApiDocsTest : public harness::IntegrationTest {};

void expectStatsHeaders(const HttpReply& reply) {
  EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
  EXPECT_EQ(reply.header("Access-Control-Allow-Methods").value_or(""), "GET, POST, OPTIONS");
  EXPECT_EQ(reply.header("Access-Control-Allow-Headers").value_or(""),
            "X-Requested-With, Content-Type, Accept, Origin, Authorization");
}

TEST_F(ApiDocsTest, OpenApiIsTheDocumentOfTheSourceTree) {
  const HttpReply reply = get("/openapi.json");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.header("Content-Type").value_or(""), "application/json");
  expectStatsHeaders(reply);
  const std::string file = harness::readFile(std::string(PAVORA_SOURCE_DIR) + "/docs/openapi.json");
  // Not EXPECT_EQ: a failure would print both documents whole.
  EXPECT_TRUE(reply.body == file) << "served " << reply.body.size() << " bytes, the file holds "
                                  << file.size() << "; rebuild after editing the document";
}

TEST_F(ApiDocsTest, DocsPageMayRunAndLoadNothing) {
  const HttpReply reply = get("/docs");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.header("Content-Type").value_or(""), "text/html; charset=utf-8");
  expectStatsHeaders(reply);
  EXPECT_EQ(reply.header("Content-Security-Policy").value_or(""),
            "default-src 'none'; style-src 'unsafe-inline'");
  EXPECT_EQ(reply.body.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_EQ(reply.body.find("<script"), std::string::npos);
  EXPECT_EQ(reply.body.find(" src="), std::string::npos);
}

class BrowserDocsTest : public harness::IntegrationTest {
 protected:
  void SetUp() override {
    if (const auto reason = harness::Chromium::unavailable()) GTEST_SKIP() << *reason;
    harness::IntegrationTest::SetUp();
  }
};

// The page as the browser builds it: a heading for every row of the route
// table, and the document's texts as text (the token placeholder of its
// description is no element).
TEST_F(BrowserDocsTest, PageShowsEveryRouteOfTheTable) {
  const std::string dom = harness::Chromium::dumpDom(
      "http://127.0.0.1:" + std::to_string(build_settings::kHttpPort) + "/docs");
  ASSERT_NE(dom.find("<h1>pavora_server API</h1>"), std::string::npos) << dom.substr(0, 2000);
  for (const RouteEntry& route : routeTable()) {
    const std::string heading = "<span class=\"method\">" + std::string(route.method) +
                                "</span> <span class=\"path\">" + documentedPath(route.path) +
                                "</span>";
    EXPECT_NE(dom.find(heading), std::string::npos) << heading;
  }
  EXPECT_NE(dom.find("Bearer &lt;token&gt;"), std::string::npos);
  EXPECT_EQ(dom.find("<token>"), std::string::npos);
}

}  // namespace
