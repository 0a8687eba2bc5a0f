// Access control with a configuration file that cannot be used: a typo, a
// missing file, an empty one (as while an editor rewrites it in place). The
// access checks fail closed: the last good settings stay in force, and a
// server that never read a usable file refuses everything but OPTIONS and
// /health.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/EventReplies.h"
#include "support/RulesFixture.h"

namespace {

using harness::HttpReply;
using harness::httpWith;
using harness::StandIns;
using harness::TestConfig;
using harness::TestServer;

const std::string kToken = "broken-config-Token-0123456789";
const std::string kBearer = "Authorization: Bearer " + kToken;
const std::string kFrontEnd = "https://sensor-ui.example:8443";
const std::string kEvil = "Origin: https://evil.example";

// Ways the file stops being usable, each one step from a good file.
struct Breakage {
  const char* name;
  const char* text;  // written as the whole file; null: the file is removed
};
const Breakage kBreakages[] = {
    {"typo", "application: { settings: { country = Russia; }; };\n"},
    {"missing", nullptr},
    {"empty", ""},
};

void breakConfiguration(const Breakage& breakage) {
  if (breakage.text == nullptr) {
    TestConfig::erase();
  } else {
    TestConfig::writeRaw(breakage.text);
  }
}

// The routes that stop or reload the sensor or delete its events.
struct Probe {
  const char* method;
  const char* path;
};
const Probe kProbes[] = {
    {"GET", "/suricata/stop/"},       {"GET", "/daemon/stop/"},
    {"GET", "/suricata/reload/"},     {"GET", "/rules/reload/blocking"},
    {"DELETE", "/events/delete/dns"},
};

class BrokenConfigurationTest : public harness::RulesTest {
 protected:
  void SetUp() override {
    harness::RulesTest::SetUp();
    harness::writeFile(rulesFile(), "alert tcp any any -> any any (msg:\"a\"; sid:1; rev:1;)\n");
    harness::TestRedis::rpush("dns", {R"({"flow_id":1})"});
    tokenPath_ = harness::workDir() + "/files/broken-config.token";
    harness::writeFile(tokenPath_, kToken + "\n");
    chmod(tokenPath_.c_str(), 0600);
  }

  void lockDown() {
    config_.setString("api_token_file", tokenPath_).setString("allowed_origin", kFrontEnd).write();
  }

  // Nothing of a refused probe may have run.
  static void expectNothingRan() {
    EXPECT_EQ(StandIns::calls(), std::vector<std::string>{});
    EXPECT_EQ(harness::TestRedis::command({"LLEN", "dns"})->integer, 1);
  }

  std::string tokenPath_;
};

// Each breakage after a good file with a token and an origin: the token and
// the origin are still asked for, and a request with both is still served.
TEST_F(BrokenConfigurationTest, LastGoodSettingsStayInForceWhileTheFileIsBroken) {
  lockDown();
  ASSERT_EQ(httpWith({kBearer, "Origin: " + kFrontEnd}, "GET", "/rules").status, 200);
  for (const Breakage& breakage : kBreakages) {
    SCOPED_TRACE(breakage.name);
    breakConfiguration(breakage);
    for (const Probe& probe : kProbes) {
      SCOPED_TRACE(std::string(probe.method) + " " + probe.path);
      const HttpReply without = httpWith({}, probe.method, probe.path);
      EXPECT_EQ(without.status, 401);
      EXPECT_EQ(without.header("Access-Control-Allow-Origin").value_or(""), kFrontEnd);
      const HttpReply evil = httpWith({kEvil, kBearer}, probe.method, probe.path);
      EXPECT_EQ(evil.status, 403);
      EXPECT_EQ(evil.body, "Origin not allowed");
    }
    expectNothingRan();
    EXPECT_EQ(httpWith({kBearer, "Origin: " + kFrontEnd}, "GET", "/events/count/dns").status, 200);
    lockDown();
  }
}

TEST_F(BrokenConfigurationTest, HealthReportsTheConfigurationFailingAndAlertsOncePerChange) {
  lockDown();
  ASSERT_EQ(httpWith({kBearer}, "GET", "/rules").status, 200);
  const size_t mark = harness::serverLogSize();
  const struct {
    const Breakage& breakage;
    const char* reason;
  } cases[] = {
      {kBreakages[0], "Config parse error at line 1: syntax error"},
      {kBreakages[1], "Cannot read "},
      {kBreakages[2], " holds no settings"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.breakage.name);
    breakConfiguration(c.breakage);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(httpWith({}, "GET", "/rules").status, 401);
    const HttpReply health = httpWith({kBearer}, "GET", "/health");
    EXPECT_EQ(health.status, 503);
    EXPECT_NE(harness::parseJson(health.body)["configuration"].asString().find(c.reason),
              std::string::npos)
        << health.body;
  }
  lockDown();
  EXPECT_EQ(httpWith({kBearer}, "GET", "/health").status, 200);
  EXPECT_EQ(httpWith({kBearer}, "GET", "/rules").status, 200);
  ASSERT_TRUE(harness::waitForLog(mark, "can be used again"));
  const std::string log = harness::serverLogSince(mark);
  size_t alerts = 0;
  for (size_t at = log.find("Configuration file cannot be used"); at != std::string::npos;
       at = log.find("Configuration file cannot be used", at + 1)) {
    ++alerts;
  }
  EXPECT_EQ(alerts, 3u) << log;
}

// A file that parses without the two keys still turns access control off.
TEST_F(BrokenConfigurationTest, UsableFileWithoutTheKeysTurnsAccessControlOff) {
  lockDown();
  ASSERT_EQ(httpWith({}, "GET", "/rules").status, 401);
  config_.remove("api_token_file").remove("allowed_origin").write();
  EXPECT_EQ(httpWith({kEvil}, "GET", "/rules").status, 200);
}

// Puts the default configuration back and the server up after a test that
// started it on a broken file, pass or fail.
struct ServerRestorer {
  ~ServerRestorer() {
    TestServer::stop();
    TestConfig().write();
    TestServer::start();
  }
};

TEST_F(BrokenConfigurationTest, ServerStartedOnABrokenFileRefusesAllButOptionsAndHealth) {
  const ServerRestorer restorer;
  for (const Breakage& breakage : kBreakages) {
    SCOPED_TRACE(breakage.name);
    TestServer::stop();
    breakConfiguration(breakage);
    TestServer::start();
    for (const Probe& probe : kProbes) {
      SCOPED_TRACE(std::string(probe.method) + " " + probe.path);
      const HttpReply reply = httpWith({kEvil}, probe.method, probe.path);
      EXPECT_EQ(reply.status, 503);
      EXPECT_EQ(reply.body, "Configuration unreadable");
      EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
    }
    for (const char* path : {"/rules", "/metrics", "/events/count/dns"}) {
      SCOPED_TRACE(path);
      EXPECT_EQ(httpWith({}, "GET", path).status, 503);
    }
    expectNothingRan();
    const HttpReply preflight = httpWith({"Origin: " + kFrontEnd}, "OPTIONS", "/rules/add/");
    EXPECT_EQ(preflight.status, 200);
    harness::expectRulesCorsHeaders(preflight);
    const HttpReply health = httpWith({}, "GET", "/health");
    EXPECT_EQ(health.status, 503);
    EXPECT_NE(harness::parseJson(health.body)["configuration"].asString(), "ok");
  }
  // Fixed: served again at once, without a restart.
  config_.write();
  EXPECT_EQ(httpWith({kEvil}, "GET", "/rules").status, 200);
  EXPECT_EQ(httpWith({}, "GET", "/health").status, 200);
}

}  // namespace
