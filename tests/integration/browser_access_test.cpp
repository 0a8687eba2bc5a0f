// A real browser against the server with both access keys set: the front
// end's page on the allowed origin sends its calls with the token and gets
// its answers; a page on a foreign origin that fires an image GET of a
// service route and a form-style POST to a rule edit changes nothing.
#include "common/BuildSettings.h"
#include "support/Browser.h"
#include "support/RulesFixture.h"

namespace {

using harness::Chromium;
using harness::notesOf;
using harness::notingPage;
using harness::PageServer;
using harness::readFile;
using harness::StandIns;
using harness::writeFile;

const std::string kToken = "browser-token-9f2d41";
const std::string kExisting = "alert tcp any any -> any any (msg:\"kept\"; sid:1; rev:1;)";
const std::string kAdded = "alert tcp any any -> any any (msg:\"added\"; sid:2; rev:1;)";

std::string serverUrl() { return "http://127.0.0.1:" + std::to_string(build_settings::kHttpPort); }

class BrowserAccessTest : public harness::RulesTest {
 protected:
  void SetUp() override {
    if (const auto reason = Chromium::unavailable()) GTEST_SKIP() << *reason;
    harness::RulesTest::SetUp();
    writeFile(rulesFile(), kExisting + "\n");
    const std::string token = harness::workDir() + "/files/browser.token";
    writeFile(token, kToken + "\n");
    config_.setString("api_token_file", token).setString("allowed_origin", front_.origin()).write();
  }

  PageServer front_{"127.0.0.1", PageServer::firstPort()};
  PageServer foreign_{"127.0.0.2", PageServer::secondPort()};
};

TEST_F(BrowserAccessTest, FrontEndOnTheAllowedOriginWorksWithTheToken) {
  front_.addPage("front.html", notingPage(R"(
    const server = ')" + serverUrl() + R"(';
    const auth = {Authorization: 'Bearer )" +
                                          kToken + R"('};
    let reply = await fetch(server + '/rules', {headers: auth});
    note('rules ' + reply.status);
    reply = await fetch(server + '/rules/add/', {method: 'POST',
        headers: {...auth, 'Content-Type': 'application/json'},
        body: JSON.stringify({content: ')" +
                                          kAdded + R"('})});
    note('add ' + reply.status + ' ' + await reply.text());
    reply = await fetch(server + '/suricata/stop/', {headers: auth});
    note('stop ' + reply.status + ' ' + await reply.text());
    reply = await fetch(server + '/rules');
    note('without token ' + reply.status + ' ' + await reply.text());
  )"));
  const std::vector<std::string> expected = {
      "rules 200",
      "add 200 Rule added successfully",
      "stop 200 Suricata stopped successfully",
      "without token 401 A valid bearer token is required",
      "done",
  };
  EXPECT_EQ(notesOf(Chromium::dumpDom(front_.url("front.html"))), expected);
  EXPECT_EQ(readFile(rulesFile()), kExisting + "\n" + kAdded + "\n");
  EXPECT_EQ(StandIns::calls().back(), "systemctl stop suricata");
}

TEST_F(BrowserAccessTest, PageOnAForeignOriginChangesNothing) {
  const size_t mark = harness::serverLogSize();
  foreign_.addPage("foreign.html", notingPage(R"(
    const server = ')" + serverUrl() + R"(';
    await new Promise((settle) => {
      const image = new Image();
      image.onload = () => { note('image loaded'); settle(); };
      image.onerror = () => { note('image failed'); settle(); };
      image.src = server + '/suricata/stop/';
    });
    await fetch(server + '/rules/add/', {method: 'POST', mode: 'no-cors',
        headers: {'Content-Type': 'text/plain'},
        body: JSON.stringify({content: ')" + kAdded +
                                              R"('})});
    note('post sent');
    try {
      await fetch(server + '/rules');
      note('read allowed');
    } catch (error) {
      note('read refused');
    }
  )"));
  const std::vector<std::string> expected = {"image failed", "post sent", "read refused", "done"};
  EXPECT_EQ(notesOf(Chromium::dumpDom(foreign_.url("foreign.html"))), expected);
  EXPECT_EQ(readFile(rulesFile()), kExisting + "\n");
  EXPECT_TRUE(StandIns::calls().empty());
  EXPECT_TRUE(harness::waitForLog(mark, "Refused request from 127.0.0.1: GET /suricata/stop/ 401"));
  EXPECT_TRUE(harness::waitForLog(mark, "Refused request from 127.0.0.1: POST /rules/add/ 403"));
}

}  // namespace
