// The rule edit routes: toggle, add, validate, delete and update, checked
// against the rules file byte for byte, alone and under concurrent requests.
#include <json/value.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>

#include "common/JsonText.h"
#include "support/RulesFixture.h"

namespace {

using harness::HttpReply;
using harness::post;
using harness::readFile;
using harness::StandIns;
using harness::writeFile;

constexpr char kA[] = "alert tcp any any -> any any (msg:\"a\"; sid:1; rev:1;)";
constexpr char kB[] = "drop udp any any -> any any (msg:\"b\"; sid:2; rev:1;)";
constexpr char kNew[] = "alert icmp any any -> any any (msg:\"new\"; sid:3; rev:1;)";

// {"content": text} with the text escaped for JSON.
std::string contentBody(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\n' || c == '\r') {
      escaped += c == '\n' ? "\\n" : "\\r";
      continue;
    }
    if (c == '"' || c == '\\') escaped += '\\';
    escaped += c;
  }
  return "{\"content\":\"" + escaped + "\"}";
}

// {"rule": {"content": old}, "new_rule": {"content": new}}.
std::string updateBody(const std::string& oldRule, const std::string& newRule) {
  Json::Value body;
  body["rule"]["content"] = oldRule;
  body["new_rule"]["content"] = newRule;
  return json_text::write(body);
}

std::string validation(bool success, const std::string& error) {
  return "{\n\t\"error\" : \"" + error + "\",\n\t\"success\" : " + (success ? "true" : "false") +
         "\n}\n";
}

class RulesEditingTest : public harness::RulesTest {
 protected:
  const std::string base_ = std::string(kA) + "\n#" + kB + "\n";
};

TEST_F(RulesEditingTest, ToggleSwitchesARuleBackAndForth) {
  writeFile(rulesFile(), base_);
  ASSERT_EQ(chmod(rulesFile().c_str(), 0604), 0);
  ASSERT_EQ(chown(rulesFile().c_str(), 1234, 4321), 0);

  expectText(post("/rules/toggle/", contentBody(kA)), 200, "Rule status toggled successfully");
  EXPECT_EQ(readFile(rulesFile()), "#" + std::string(kA) + "\n#" + kB + "\n");
  expectText(post("/rules/toggle/", contentBody(kA)), 200, "Rule status toggled successfully");
  EXPECT_EQ(readFile(rulesFile()), base_);
  expectText(post("/rules/toggle/", contentBody(kB)), 200, "Rule status toggled successfully");
  EXPECT_EQ(readFile(rulesFile()), std::string(kA) + "\n" + kB + "\n");

  struct stat info {};
  ASSERT_EQ(stat(rulesFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0604u);
  EXPECT_EQ(info.st_uid, 1234u);
  EXPECT_EQ(info.st_gid, 4321u);
}

TEST_F(RulesEditingTest, ToggleWithoutMatchLeavesTheFileAlone) {
  writeFile(rulesFile(), base_ + "last line without newline");
  struct stat before {};
  ASSERT_EQ(stat(rulesFile().c_str(), &before), 0);
  expectText(post("/rules/toggle/", contentBody("alert ip")), 200,
             "Rule status toggled successfully");
  struct stat after {};
  ASSERT_EQ(stat(rulesFile().c_str(), &after), 0);
  EXPECT_EQ(readFile(rulesFile()), base_ + "last line without newline");
  EXPECT_EQ(before.st_ino, after.st_ino) << "the file was rewritten";
}

TEST_F(RulesEditingTest, AddRunsTheTestAndAppendsTheRule) {
  writeFile(rulesFile(), std::string(kA) + "\n" + kB);  // no final newline
  expectText(post("/rules/add/", contentBody(kNew)), 200, "Rule added successfully");
  EXPECT_EQ(readFile(rulesFile()), std::string(kA) + "\n" + kB + "\n" + kNew + "\n");
  EXPECT_EQ(readFile(scratchFile()), kNew);
  EXPECT_EQ(StandIns::calls(),
            std::vector<std::string>{"suricata -T -c " + config_.path("suricata_conf") + " -S " +
                                     scratchFile()});
}

// The configured paths reach Suricata's test mode as one argument each: a
// path holding a blank, ";" or "#" runs nothing else.
TEST_F(RulesEditingTest, TestRunGetsEachConfiguredPathAsOneArgument) {
  const std::string marker = harness::workDir() + "/files/touched-by-a-shell";
  unlink(marker.c_str());
  const std::string files = harness::workDir() + "/files/";
  const std::string conf = files + "suricata.yaml; touch " + marker + " #";
  const std::string scratch = files + "tmp rules;$(id) `id`.rules";
  config_.setString("suricata_conf", conf).setString("tmp_rule_file", scratch).write();
  const HttpReply reply = post("/rules/validate/", contentBody(kNew));
  EXPECT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(readFile(scratch), kNew);
  EXPECT_EQ(StandIns::argumentVectors(),
            (std::vector<std::vector<std::string>>{{"suricata", "-T", "-c", conf, "-S", scratch}}));
  EXPECT_EQ(StandIns::calls(),
            std::vector<std::string>{"suricata -T -c " + conf + " -S " + scratch});
  EXPECT_NE(access(marker.c_str(), F_OK), 0) << "a shell ran the configured path";
  unlink(scratch.c_str());
}

TEST_F(RulesEditingTest, AddCreatesAMissingRulesFile) {
  expectText(post("/rules/add/", contentBody(kNew)), 200, "Rule added successfully");
  EXPECT_EQ(readFile(rulesFile()), std::string(kNew) + "\n");
}

TEST_F(RulesEditingTest, AddRefusals) {
  // A line whose options mention another sid: a text cut from them is a
  // readable rule of its own that the file already contains.
  const std::string withMetadata =
      "alert ip any any -> any any (msg:\"c\"; sid:4; rev:1; metadata:old (sid:30; rev:2;)";
  writeFile(rulesFile(), base_ + withMetadata + "\n");
  const std::string otherTextSameSid = "alert ip any any -> any any (msg:\"z\"; sid:2; rev:9;)";
  struct Case {
    std::string rule;
    long status;
    std::string body;
  };
  const Case cases[] = {
      {otherTextSameSid, 409, "SID already in use"},
      {kA, 409, "SID already in use"},  // the sid test comes first
      {"old (sid:30; rev:2;)", 409, "Rule already exists"},
      // Words that only look like options make no rule.
      {"old sid 30 rev 2;)", 400, validation(false, "Rule must have a numeric sid and rev")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    expectText(post("/rules/add/", contentBody(c.rule)), c.status, c.body);
  }
  EXPECT_EQ(readFile(rulesFile()), base_ + withMetadata + "\n");
}

// Every rule listing failed with 500 "Unable to parse line N: stoi" once a
// rule without a sid or rev that the listings read had been added or updated
// into the file.
TEST_F(RulesEditingTest, AddAndUpdateRefuseATextTheListingsCannotRead) {
  writeFile(rulesFile(), base_);
  const std::string unreadable = "Rule must have a numeric sid and rev";
  const std::string texts[] = {
      "drop tcp any any -> any any (msg:\"x\";)",
      "5",
      "alert tcp any any -> any any (msg:\"rev is text\"; sid:7; rev:x;)",
      "alert tcp any any -> any any (msg:\"sid is text\"; sid:seven; rev:1;)",
      "alert tcp any any -> any any (msg:\"too big\"; sid:4294967296; rev:1;)",
      "alert tcp any any -> any any (msg:\"goes on\"; sid:7; rev:1; \\",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    expectText(post("/rules/add/", contentBody(text)), 400, validation(false, unreadable));
    expectText(post("/rules/update/", updateBody(kA, text)), 400, unreadable);
  }
  // A part of a line may be replaced, but the line must stay readable.
  expectText(post("/rules/update/", updateBody("sid:1;", "sid:one;")), 400, unreadable);
  EXPECT_EQ(readFile(rulesFile()), base_);
  EXPECT_TRUE(StandIns::calls().empty()) << "a test run was started";
  EXPECT_EQ(harness::get("/rules").status, 200);
}

// An update could give a rule the sid of another rule, and an old text that
// spans a line break merged two rules into one line, so one disappeared.
TEST_F(RulesEditingTest, UpdateRefusesASidInUseAndAnOldTextSpanningLines) {
  writeFile(rulesFile(), base_);
  const std::string takesSid2 = "alert tcp any any -> any any (msg:\"a\"; sid:2; rev:2;)";
  struct Case {
    std::string oldRule;
    std::string newRule;
    long status;
    std::string body;
  };
  const Case cases[] = {
      {kA, takesSid2, 409, "SID already in use"},
      {"sid:1;", "sid:2;", 409, "SID already in use"},
      {"rev:1;)\n#drop udp", "rev:1;)", 400, "Rule content must be a single line"},
      {"rev:1;)\rx", "rev:1;)", 400, "Rule content must be a single line"},
      {"rev:1;)", "rev:1;)\r\n", 400, "Rule content must be a single line"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.oldRule + " -> " + c.newRule);
    expectText(post("/rules/update/", updateBody(c.oldRule, c.newRule)), c.status, c.body);
  }
  EXPECT_EQ(readFile(rulesFile()), base_);

  // Keeping its own sid is no conflict.
  const std::string revised = "alert tcp any any -> any any (msg:\"a\"; sid:1; rev:2;)";
  expectText(post("/rules/update/", updateBody(kA, revised)), 200, "Rule updated successfully");
  EXPECT_EQ(readFile(rulesFile()), revised + "\n#" + kB + "\n");
}

TEST_F(RulesEditingTest, TheTestRunsOutputDecides) {
  writeFile(rulesFile(), base_);
  const std::string report = "i: suricata: test mode\\nE: detect: bad option";
  StandIns::setOutput("suricata", "i: suricata: test mode\nE: detect: bad option\n");
  StandIns::setExit("suricata", 0);  // the exit status is not looked at
  expectText(post("/rules/add/", contentBody(kNew)), 400, validation(false, report + "\\n"));
  for (const char* path : {"/rules/validate/", "/validate_rule_endpoint"}) {
    SCOPED_TRACE(path);
    expectText(post(path, contentBody(kNew)), 400, validation(false, report + "\\n"));
  }
  EXPECT_EQ(readFile(rulesFile()), base_);

  StandIns::setOutput("suricata", "W: only a warning\n");
  StandIns::setExit("suricata", 1);
  for (const char* path : {"/rules/validate/", "/validate_rule_endpoint"}) {
    SCOPED_TRACE(path);
    expectText(post(path, contentBody(kNew)), 200, validation(true, ""));
  }
}

TEST_F(RulesEditingTest, DeleteRemovesEveryCopyEnabledOrNot) {
  writeFile(rulesFile(), base_ + "# " + kA + "\n" + kA);
  expectText(post("/rules/delete/", contentBody(kA)), 200, "Rule deleted successfully");
  EXPECT_EQ(readFile(rulesFile()), "#" + std::string(kB) + "\n");
  expectText(post("/rules/delete/", contentBody(kB)), 200, "Rule deleted successfully");
  EXPECT_EQ(readFile(rulesFile()), "");
  expectText(post("/rules/delete/", contentBody(kB)), 404, "Rule not found");
}

TEST_F(RulesEditingTest, UpdateReplacesTheFirstOccurrenceOnly) {
  writeFile(rulesFile(), base_ + kA + "\n");
  const std::string body =
      std::string(R"({"rule":{"content":"msg:\"a\""},)") + R"("new_rule":{"content":"msg:\"A\""}})";
  expectText(post("/rules/update/", body), 200, "Rule updated successfully");
  std::string expected = base_ + kA + "\n";
  expected.replace(expected.find("msg:\"a\""), 7, "msg:\"A\"");
  EXPECT_EQ(readFile(rulesFile()), expected);

  // A disabled rule stays disabled.
  const std::string disable =
      std::string(R"({"rule":{"content":"drop udp"},)") + R"("new_rule":{"content":"reject udp"}})";
  expectText(post("/rules/update/", disable), 200, "Rule updated successfully");
  EXPECT_NE(readFile(rulesFile()).find("\n#reject udp"), std::string::npos);

  const std::string missing = R"({"rule":{"content":"pass"},"new_rule":{"content":"x"}})";
  expectText(post("/rules/update/", missing), 404, "Old rule not found");
}

TEST_F(RulesEditingTest, BadBodiesAndBlankRulesChangeNothing) {
  writeFile(rulesFile(), base_ + "\n#\n   \n");
  const std::string before = readFile(rulesFile());
  // Deeper than the JSON reader's nesting limit, within the request size limit.
  const std::string deep = std::string(1200, '[') + std::string(1200, ']');
  for (const char* path : {"/rules/toggle/", "/rules/add/", "/rules/delete/", "/rules/update/"}) {
    SCOPED_TRACE(path);
    for (const std::string& body : {std::string("{"), std::string("not json"), deep}) {
      expectText(post(path, body), 400, "Invalid JSON");
    }
  }
  for (const char* path : {"/rules/validate/", "/validate_rule_endpoint"}) {
    expectText(post(path, "{"), 400, validation(false, "Invalid JSON"));
  }

  const std::string blanks[] = {
      "{}", "[]", contentBody(""), contentBody("   "), contentBody("#"), contentBody("# \t")};
  for (const std::string& body : blanks) {
    SCOPED_TRACE(body);
    expectText(post("/rules/toggle/", body), 400, "Missing rule content");
    expectText(post("/rules/delete/", body), 400, "Missing rule content");
    expectText(post("/rules/add/", body), 400, validation(false, "Missing rule content"));
    expectText(post("/rules/validate/", body), 400, validation(false, "Missing rule content"));
  }
  for (const char* body : {R"({"rule":{"content":"alert"}})", R"({"new_rule":{"content":"x"}})",
                           R"({"rule":{"content":""},"new_rule":{"content":"x"}})"}) {
    SCOPED_TRACE(body);
    expectText(post("/rules/update/", body), 400, "Missing rule content");
  }
  EXPECT_EQ(readFile(rulesFile()), before);
  EXPECT_TRUE(StandIns::calls().empty()) << "a test run was started";
}

TEST_F(RulesEditingTest, TrailingTextOrAByteOrderMarkMakesABodyInvalid) {
  // The edits read their bodies leniently: text after the document, or a
  // byte-order mark before it, still let a rule be changed.
  writeFile(rulesFile(), base_);
  const std::pair<const char*, std::string> routes[] = {
      {"/rules/toggle/", contentBody(kA)},     {"/rules/delete/", contentBody(kA)},
      {"/rules/add/", contentBody(kNew)},      {"/rules/update/", updateBody(kA, kNew)},
      {"/rules/validate/", contentBody(kNew)}, {"/validate_rule_endpoint", contentBody(kNew)}};
  for (const auto& [path, body] : routes) {
    const bool validates = std::string(path).find("validate") != std::string::npos;
    for (const std::string& bad : {body + " x", body + "{}", "\xEF\xBB\xBF" + body}) {
      SCOPED_TRACE(std::string(path) + " " + bad);
      expectText(post(path, bad), 400,
                 validates ? validation(false, "Invalid JSON") : std::string("Invalid JSON"));
    }
  }
  EXPECT_EQ(readFile(rulesFile()), base_);
  EXPECT_TRUE(StandIns::calls().empty()) << "a test run was started";
}

TEST_F(RulesEditingTest, AddAndUpdateRefuseARuleTextSpanningLines) {
  // An added rule text ending in newlines left blank lines behind it: every
  // listing then failed on them, and no edit could name a blank line to
  // remove it again.
  writeFile(rulesFile(), base_);
  const std::string spanning[] = {std::string(kNew) + "\n\n", std::string(kNew) + "\n" + kNew,
                                  "\n" + std::string(kNew), std::string(kNew) + "\r",
                                  std::string(kNew) + "\r" + kNew};
  for (const std::string& rule : spanning) {
    SCOPED_TRACE(rule);
    expectText(post("/rules/add/", contentBody(rule)), 400,
               validation(false, "Rule content must be a single line"));
    // A new text ending in one CR is a listed rule of a CRLF file: accepted.
    if (rule == std::string(kNew) + "\r") continue;
    expectText(post("/rules/update/",
                    R"({"rule":{"content":"drop udp"},"new_rule":)" + contentBody(rule) + "}"),
               400, "Rule content must be a single line");
  }
  EXPECT_EQ(readFile(rulesFile()), base_);
  EXPECT_TRUE(StandIns::calls().empty()) << "a test run was started";
  EXPECT_EQ(harness::get("/rules").status, 200);
}

TEST_F(RulesEditingTest, ConfigurationFailures) {
  writeFile(rulesFile(), base_);
  harness::TestConfig::erase();
  expectText(post("/rules/toggle/", contentBody(kA)), 500, "File I/O error");
  expectText(post("/rules/delete/", contentBody(kA)), 500, "FileIOException");
  const std::string update = R"({"rule":{"content":"drop udp"},"new_rule":{"content":"x"}})";
  expectText(post("/rules/update/", update), 500, "FileIOException");
  expectText(post("/rules/add/", contentBody(kNew)), 400, validation(false, "FileIOException"));
  expectText(post("/rules/validate/", contentBody(kNew)), 400,
             validation(false, "FileIOException"));
  harness::TestConfig::writeRaw("application = ;\n");
  expectText(post("/rules/toggle/", contentBody(kA)), 500, "Config parse error");
  config_.write();
  unlink(rulesFile().c_str());
  expectText(post("/rules/toggle/", contentBody(kA)), 500, "Unable to open rules file");
  expectText(post("/rules/delete/", contentBody(kA)), 404, "Rule not found");
  expectText(post("/rules/update/", update), 404, "Old rule not found");
}

TEST_F(RulesEditingTest, ConcurrentTogglesAllTakeEffect) {
  // Each toggle rewrites the whole file; without serialisation two at a time
  // would write back each other's stale copy and lose switches.
  std::string text;
  std::vector<std::string> rules;
  for (int sid = 1; sid <= 20; ++sid) {
    rules.push_back("alert tcp any any -> any any (msg:\"r" + std::to_string(sid) +
                    "\"; sid:" + std::to_string(sid) + "; rev:1;)");
    text += rules.back() + "\n";
  }
  // A large file makes each rewrite slow enough for requests to overlap.
  for (int sid = 100; sid < 20000; ++sid) {
    text +=
        "#alert tcp any any -> any any (msg:\"filler\"; sid:" + std::to_string(sid) + "; rev:1;)\n";
  }
  writeFile(rulesFile(), text);
  for (size_t i = 0; i < rules.size(); i += 2) {
    auto first = std::async(std::launch::async,
                            [&] { return post("/rules/toggle/", contentBody(rules[i])); });
    auto second = std::async(std::launch::async,
                             [&] { return post("/rules/toggle/", contentBody(rules[i + 1])); });
    EXPECT_EQ(first.get().status, 200);
    EXPECT_EQ(second.get().status, 200);
  }
  std::string expected;
  for (const std::string& rule : rules) expected += "#" + rule + "\n";
  const std::string result = readFile(rulesFile());
  EXPECT_EQ(result.substr(0, expected.size()), expected);
  EXPECT_EQ(result.size(), text.size() + rules.size());
}

TEST_F(RulesEditingTest, ConcurrentValidationsEachJudgeTheirOwnRule) {
  // Validations share one scratch file; the stand-in reads it after a pause,
  // so an unserialised second validation would overwrite the first one's rule.
  rejectRulesContaining("REJECT-ME");
  delayTestRuns("0.2");
  const std::string good = "alert tcp any any -> any any (msg:\"good\"; sid:50; rev:1;)";
  const std::string bad = "alert tcp any any -> any any (msg:\"REJECT-ME\"; sid:51; rev:1;)";
  for (int round = 0; round < 3; ++round) {
    auto first =
        std::async(std::launch::async, [&] { return post("/rules/validate/", contentBody(good)); });
    auto second = std::async(std::launch::async,
                             [&] { return post("/validate_rule_endpoint", contentBody(bad)); });
    const HttpReply goodReply = first.get();
    const HttpReply badReply = second.get();
    EXPECT_EQ(goodReply.status, 200) << goodReply.body;
    EXPECT_EQ(badReply.status, 400) << badReply.body;
    EXPECT_EQ(badReply.body, validation(false, "E: detect: rule rejected by the test\\n"));
  }
}

}  // namespace
