// A real browser on another origin reads the number of items of a paged
// listing from X-Total-Count, which the server exposes to its scripts.
#include <string>
#include <vector>

#include "common/BuildSettings.h"
#include "support/Browser.h"
#include "support/RulesFixture.h"

namespace {

using harness::Chromium;
using harness::notesOf;
using harness::notingPage;
using harness::PageServer;

class BrowserTotalsTest : public harness::RulesTest {
 protected:
  void SetUp() override {
    if (const auto reason = Chromium::unavailable()) GTEST_SKIP() << *reason;
    harness::RulesTest::SetUp();
  }
  PageServer front_{"127.0.0.1", PageServer::firstPort()};
};

TEST_F(BrowserTotalsTest, FrontEndOnAnotherOriginReadsTheTotals) {
  std::string rules;
  for (int sid = 1; sid <= 7; ++sid) {
    rules += "alert tcp any any -> any any (msg:\"r" + std::to_string(sid) +
             "\"; sid:" + std::to_string(sid) + "; rev:1;)\n";
  }
  harness::writeFile(rulesFile(), rules);
  harness::TestRedis::rpush("alert", {R"({"flow_id":1})", R"({"flow_id":2})", R"({"flow_id":3})"});
  const std::string server = "http://127.0.0.1:" + std::to_string(build_settings::kHttpPort);
  front_.addPage("totals.html", notingPage(R"(
    const pages = {rules: '/rules?page=2&page_size=2', events: '/events/alert?offset=0&limit=0'};
    for (const [name, path] of Object.entries(pages)) {
      const reply = await fetch(')" + server +
                                           R"(' + path);
      note(name + ' ' + reply.status + ' ' + reply.headers.get('X-Total-Count'));
    }
  )"));
  const std::vector<std::string> expected = {
      "rules 200 7",
      "events 200 3",
      "done",
  };
  EXPECT_EQ(notesOf(Chromium::dumpDom(front_.url("totals.html"))), expected);
}

}  // namespace
