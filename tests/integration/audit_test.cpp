// The audit trail: one line per request that changes state, with the
// client's address, the method, the path, the status sent and the subject.
#include "support/RulesFixture.h"

namespace {

using harness::HttpReply;
using harness::writeFile;

const std::string kToken = "audit-token-5c1e";
const std::string kRule11 = R"(alert tcp any any (msg:"a"; sid:11; rev:1;))";
const std::string kRule12 = R"(alert tcp any any (msg:"b"; sid:12; rev:1;))";
const std::string kRule13 = "alert udp any any (sid:13; rev:1;)";

// `rule` as the "content" of a JSON body.
std::string content(const std::string& rule) {
  std::string escaped;
  for (const char c : rule) escaped += c == '"' ? std::string("\\\"") : std::string(1, c);
  return "{\"content\":\"" + escaped + "\"}";
}

// `rule` as the audit line quotes it.
std::string quoted(const std::string& rule) {
  std::string escaped;
  for (const char c : rule) escaped += c == '"' ? std::string("\\\"") : std::string(1, c);
  return "\"" + escaped + "\"";
}

class AuditTest : public harness::RulesTest {
 protected:
  void SetUp() override {
    harness::RulesTest::SetUp();
    writeFile(rulesFile(), kRule11 + "\n");
    writeFile(
        config_.path("ioc_local_file_name"),
        R"([{"id":"1","ioc_type":"domain","ioc_value":"a.example","status":true,"uid":1,"uniq_id":"1"}])");
    harness::TestRedis::rpush("alert", {R"({"flow_id":1})"});
    writeFile(tokenFile(), kToken + "\n");
    config_.setString("api_token_file", tokenFile()).write();
  }

  std::string tokenFile() const { return harness::workDir() + "/files/audit.token"; }

  HttpReply call(const std::string& method, const std::string& path, const std::string& body) {
    return harness::httpWith({"Authorization: Bearer " + kToken}, method, path, body);
  }
};

TEST_F(AuditTest, EveryRouteThatChangesStateWritesOneLineWithItsSubject) {
  struct Case {
    const char* method;
    const char* path;
    std::string body;
    std::string subject;  // "" for a route that acts on no one thing
  };
  const std::string sid11 = "sid=11 rule=" + quoted(kRule11);
  const Case cases[] = {
      {"POST", "/rules/validate/", content(kRule12), "sid=12 rule=" + quoted(kRule12)},
      {"POST", "/validate_rule_endpoint", content(kRule12), "sid=12 rule=" + quoted(kRule12)},
      {"POST", "/rules/add/", content(kRule12), "sid=12 rule=" + quoted(kRule12)},
      {"POST", "/rules/toggle/", content(kRule11), sid11},
      {"POST", "/rules/update/",
       "{\"rule\":" + content(kRule12) + ",\"new_rule\":" + content(kRule13) + "}",
       "sid=12 rule=" + quoted(kRule12) + " sid=13 new_rule=" + quoted(kRule13)},
      {"POST", "/rules/delete/", content(kRule13), "sid=13 rule=" + quoted(kRule13)},
      {"POST", "/rules/additional/update/", R"({"social":true})",
       R"(categories="{\"social\":true}")"},
      {"GET", "/suricata/reload/", "", ""},
      {"GET", "/rules/reload/blocking", "", ""},
      {"GET", "/rules/reload/nonblocking", "", ""},
      {"GET", "/suricata/start/", "", ""},
      {"GET", "/suricata/stop/", "", ""},
      {"GET", "/suricata/update/", "", ""},
      {"GET", "/daemon/start/", "", ""},
      {"GET", "/daemon/stop/", "", ""},
      {"DELETE", "/events/delete/alert", "", R"(type="alert")"},
      {"GET", "/ioc/download/", "", ""},
      {"GET", "/ioc/filter/3", "", R"(days="3")"},
      {"POST", "/ioc/toggle/", R"({"content":"1"})", "uid=1"},
      {"GET", "/ioc/fetch/", "", ""},
      {"POST", "/ioc/rules/modify/", R"({"ioc_ip_rules":true})",
       R"(switches="{\"ioc_ip_rules\":true}")"},
  };
  const size_t mark = harness::serverLogSize();
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.path);
    const HttpReply reply = call(c.method, c.path, c.body);
    ASSERT_NE(reply.status, 0);
    const std::string line = "Audit: 127.0.0.1 " + std::string(c.method) + " " + c.path + " " +
                             std::to_string(reply.status) +
                             (c.subject.empty() ? "" : " " + c.subject) + "\n";
    EXPECT_TRUE(harness::waitForLog(mark, line)) << line << harness::serverLogSince(mark);
  }
  EXPECT_EQ(harness::serverLogSince(mark).find(kToken), std::string::npos)
      << "the log holds the token";
}

TEST_F(AuditTest, ReadWritesNoLine) {
  const size_t mark = harness::serverLogSize();
  EXPECT_EQ(call("GET", "/rules", "").status, 200);
  // The next audited request's line comes after whatever the read wrote.
  EXPECT_EQ(call("DELETE", "/events/delete/alert", "").status, 200);
  ASSERT_TRUE(harness::waitForLog(mark, "Audit: 127.0.0.1 DELETE"));
  EXPECT_EQ(harness::serverLogSince(mark).find("GET /rules"), std::string::npos);
}

// A rule text could end the line and forge another, or fill the log.
TEST_F(AuditTest, RuleTextIsCutAndCannotForgeALine) {
  const size_t mark = harness::serverLogSize();
  const std::string longRule = R"j({"content":"alert tcp any any (msg:\")j" +
                               std::string(100, 'm') + R"j(\"; sid:14; rev:1;)"})j";
  const HttpReply validated = call("POST", "/rules/validate/", longRule);
  const std::string cut = R"(alert tcp any any (msg:\")" + std::string(80 - 24, 'm');
  EXPECT_TRUE(harness::waitForLog(mark, "/rules/validate/ " + std::to_string(validated.status) +
                                            " sid=14 rule=\"" + cut + "\"\n"))
      << harness::serverLogSince(mark);

  const HttpReply toggled =
      call("POST", "/rules/toggle/",
           R"({"content":"x\nAudit: 10.0.0.1 GET /suricata/stop/ 200\u001b"})");
  EXPECT_TRUE(
      harness::waitForLog(mark, "/rules/toggle/ " + std::to_string(toggled.status) +
                                    R"( rule="x\nAudit: 10.0.0.1 GET /suricata/stop/ 200\x1b")"))
      << harness::serverLogSince(mark);
  EXPECT_EQ(harness::serverLogSince(mark).find("\nAudit: 10.0.0.1"), std::string::npos);
}

// Every log line, not only the audit's, shows control bytes escaped: a query
// value (decoded from its escapes) holding ESC, CR, LF, VT, DEL or 0x01 can
// neither drive a terminal nor start a forged line.
TEST_F(AuditTest, ControlBytesFromARequestAreEscapedInEveryLogLine) {
  const size_t mark = harness::serverLogSize();
  call("GET", "/events/alert?offset=x%1b[31mRED%0d%0aAudit:%0b%7f%01", "");
  EXPECT_TRUE(harness::waitForLog(
      mark, R"(Events: Requesting LRANGE alert x\x1b[31mRED\x0d\nAudit:\x0b\x7f\x01 100)"
            "\n"))
      << harness::serverLogSince(mark);
  const std::string log = harness::serverLogSince(mark);
  for (const char raw : {'\x1b', '\r', '\v', '\x7f', '\x01'}) {
    EXPECT_EQ(log.find(raw), std::string::npos) << static_cast<int>(raw);
  }
  EXPECT_EQ(log.find("\nAudit:"), std::string::npos);
}

}  // namespace
