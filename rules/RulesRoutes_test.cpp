// The rule routes called in process on owned requests: the refusals of bad
// bodies, page parameters and sids, the not-found texts, the suppression
// routes' reasons, and the errors of a missing configuration, as the front
// end reads them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ConfigFile_test.h"
#include "rules/Rules.h"

namespace {

// The outcome object of the add, validation and suppression routes as the
// JSON library styles it.
std::string outcome(bool success, const std::string& error) {
  return "{\n\t\"error\" : \"" + error + "\",\n\t\"success\" : " + (success ? "true" : "false") +
         "\n}\n";
}

http::Request post(const char* pattern, const std::string& body) {
  http::Request request;
  request.method = "POST";
  request.pattern = pattern;
  request.path = pattern;
  request.body = body;
  return request;
}

http::Request get(const char* pattern, std::vector<http::Pair> segments = {},
                  std::vector<http::Pair> query = {}) {
  http::Request request;
  request.method = "GET";
  request.pattern = pattern;
  request.segments = std::move(segments);
  request.query = std::move(query);
  return request;
}

// An enabled rule whose message holds parentheses, a colon and an escaped
// quote, a disabled one as the rule updater writes it, and a bundled rule
// without rev.
const char kRules[] =
    "# Emerging threats, local copy\n"
    "alert tcp any any -> any 80 (msg:\"WEB (probe): \\\"x\\\"\"; sid:1001; rev:2;)\n"
    "# alert udp any any -> any 53 (msg:\"DNS query\"; sid:1002; rev:1;)\n"
    "drop http any any -> any any (msg:\"bundled\"; sid:1003;)\n";

class RulesRoutesTest : public ConfigFileTest {
 protected:
  void SetUp() override {
    ConfigFileTest::SetUp();
    rulesFile_ = writeFile("suricata.rules", kRules);
    thresholdFile_ = writeFile("threshold.config", "suppress gen_id 1, sig_id 1001\n");
    writeSettings({{"rules_file", quoted(rulesFile_)}, {"threshold_file", quoted(thresholdFile_)}});
  }

  std::string rulesFile_;
  std::string thresholdFile_;
};

struct BodyCase {
  const char* route;
  http::Handler handler;
  std::string body;
  http::Status status;
  std::string reply;
};

// Each case's reply, and the rules file unchanged by it.
void expectRefusals(const std::vector<BodyCase>& cases, const std::string& rulesFile) {
  for (const BodyCase& c : cases) {
    const http::Reply reply = http::replyOf(c.handler, post(c.route, c.body));
    EXPECT_EQ(reply.code, c.status) << c.route << " " << c.body;
    EXPECT_EQ(reply.body, c.reply) << c.route << " " << c.body;
    EXPECT_FALSE(reply.contentType) << c.route << " " << c.body;
  }
  std::ifstream in(rulesFile, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), kRules);
}

TEST_F(RulesRoutesTest, EditBodiesThatNameNoSingleRuleAreRefusedAndChangeNothing) {
  const http::Status bad = http::Status::kBadRequest;
  const std::string rule = "alert tcp any any -> any 80 (msg:\\\"a\\\"; sid:7; rev:1;)";
  const std::vector<BodyCase> cases = {
      {"/rules/toggle/", Rules::toggle_rule(), "", bad, "Invalid JSON"},
      {"/rules/toggle/", Rules::toggle_rule(), "{\"content\":", bad, "Invalid JSON"},
      {"/rules/toggle/", Rules::toggle_rule(), "{} {}", bad, "Invalid JSON"},
      {"/rules/toggle/", Rules::toggle_rule(), "\xEF\xBB\xBF{}", bad, "Invalid JSON"},
      {"/rules/toggle/", Rules::toggle_rule(), "{}", bad, "Missing rule content"},
      {"/rules/toggle/", Rules::toggle_rule(), "{\"content\":\"#  \"}", bad,
       "Missing rule content"},
      {"/rules/toggle/", Rules::toggle_rule(), "[1]", bad, "Missing rule content"},
      {"/rules/delete/", Rules::handleDeleteRuleRequest(), "nope", bad, "Invalid JSON"},
      {"/rules/delete/", Rules::handleDeleteRuleRequest(), "{\"content\":\"#\"}", bad,
       "Missing rule content"},
      {"/rules/update/", Rules::handleUpdateRuleRequest(), "{", bad, "Invalid JSON"},
      {"/rules/update/", Rules::handleUpdateRuleRequest(),
       "{\"rule\":{\"content\":\"" + rule + "\"}}", bad, "Missing rule content"},
      {"/rules/update/", Rules::handleUpdateRuleRequest(),
       "{\"rule\":{\"content\":\"" + rule + "\"},\"new_rule\":{\"content\":\"a\\nb\"}}", bad,
       "Rule content must be a single line"},
      {"/rules/update/", Rules::handleUpdateRuleRequest(),
       "{\"rule\":{\"content\":\"a\\rb\"},\"new_rule\":{\"content\":\"" + rule + "\"}}", bad,
       "Rule content must be a single line"},
      // The add answers a body that is no JSON in plain text, every other
      // refusal as its validation object; none of them reaches the test run.
      {"/rules/add/", Rules::add_rule(), "{", bad, "Invalid JSON"},
      {"/rules/add/", Rules::add_rule(), "{\"content\":\"\"}", bad,
       outcome(false, "Missing rule content")},
      {"/rules/add/", Rules::add_rule(), "{\"content\":\"" + rule + "\\n" + rule + "\"}", bad,
       outcome(false, "Rule content must be a single line")},
      {"/rules/add/", Rules::add_rule(),
       "{\"content\":\"alert tcp any any -> any any (msg:\\\"no sid\\\";)\"}", bad,
       outcome(false, "Rule must have a numeric sid and rev")},
      {"/rules/add/", Rules::add_rule(),
       "{\"content\":\"alert tcp any any -> any any (msg:\\\"x\\\"; sid:abc; rev:1;)\"}", bad,
       outcome(false, "Rule must have a numeric sid and rev")},
      {"/rules/validate/", Rules::handleValidateRuleRequest(), "{", bad,
       outcome(false, "Invalid JSON")},
      {"/rules/validate/", Rules::handleValidateRuleRequest(), "{\"content\":\"  \"}", bad,
       outcome(false, "Missing rule content")},
      {"/rules/additional/update/", Rules::handleUpdateAdditionalRulesFile(), "[]", bad,
       "Invalid JSON"},
      {"/rules/additional/update/", Rules::handleUpdateAdditionalRulesFile(),
       "{\"universal\":true} {}", bad, "Invalid JSON"},
  };
  expectRefusals(cases, rulesFile_);
}

TEST_F(RulesRoutesTest, EditsOfRulesTheFileDoesNotHoldAreNotFoundOrInConflict) {
  const std::string absent = "alert tcp any any -> any 81 (msg:\\\"absent\\\"; sid:5; rev:1;)";
  const std::string listed =
      "alert tcp any any -> any 80 (msg:\\\"WEB (probe): \\\\\\\"x\\\\\\\"\\\"; sid:1001; rev:2;)";
  const std::vector<BodyCase> cases = {
      {"/rules/delete/", Rules::handleDeleteRuleRequest(), "{\"content\":\"" + absent + "\"}",
       http::Status::kNotFound, "Rule not found"},
      {"/rules/update/", Rules::handleUpdateRuleRequest(),
       "{\"rule\":{\"content\":\"" + absent + "\"},\"new_rule\":{\"content\":\"" + listed + "\"}}",
       http::Status::kNotFound, "Old rule not found"},
      // The listed rule given the sid of the bundled one.
      {"/rules/update/", Rules::handleUpdateRuleRequest(),
       "{\"rule\":{\"content\":\"" + listed +
           "\"},\"new_rule\":{\"content\":\"alert tcp any any "
           "-> any 80 (msg:\\\"moved\\\"; sid:1003; rev:3;)\"}}",
       http::Status::kConflict, "SID already in use"},
      {"/rules/update/", Rules::handleUpdateRuleRequest(),
       "{\"rule\":{\"content\":\"" + listed +
           "\"},\"new_rule\":{\"content\":\"alert tcp any any "
           "-> any 80 (msg:\\\"no sid\\\";)\"}}",
       http::Status::kBadRequest, "Rule must have a numeric sid and rev"},
  };
  expectRefusals(cases, rulesFile_);
}

// The paged queries, each with a segment that matches `total` rules of
// kRules, the first of them `sid`.
struct PagedRoute {
  const char* pattern;
  http::Handler handler;
  std::vector<http::Pair> segments;
  const char* total;
  const char* sid;
};

std::vector<PagedRoute> pagedRoutes() {
  return {
      {"/rules", Rules::HandlegetRules(), {}, "3", "1001"},
      {"/rules/action/:action",
       Rules::HandlegetRulesByAction(),
       {{":action", "drop"}},
       "1",
       "1003"},
      {"/rules/status/:status",
       Rules::HandlegetRulesByStatus(),
       {{":status", "disabled"}},
       "1",
       "1002"},
      {"/rules/protocol/:proto",
       Rules::HandlegetRulesByProtocol(),
       {{":proto", "udp"}},
       "1",
       "1002"},
      {"/rules/duplicated/:sid",
       Rules::HandlegetDuplicatedRulesBySid(),
       {{":sid", "1003"}},
       "1",
       "1003"},
      {"/rules/signature/:signature",
       Rules::HandlegetRulesBySignature(),
       {{":signature", "WEB%20%28probe%29"}},
       "1",
       "1001"},
  };
}

TEST_F(RulesRoutesTest, EveryPagedQueryRefusesPagesThatAreNoPositiveNumber) {
  const struct {
    std::vector<http::Pair> query;
    const char* body;
  } cases[] = {
      {{{"page", "abc"}}, "stoi"},
      {{{"page_size", ""}}, "stoi"},
      {{{"page", "99999999999"}}, "stoi"},
      {{{"page", "0"}}, "Invalid pagination parameters"},
      {{{"page", "1"}, {"page_size", "-5"}}, "Invalid pagination parameters"},
  };
  for (const PagedRoute& route : pagedRoutes()) {
    for (const auto& c : cases) {
      const http::Reply reply =
          http::replyOf(route.handler, get(route.pattern, route.segments, c.query));
      EXPECT_EQ(reply.code, http::Status::kInternalServerError) << route.pattern << " " << c.body;
      EXPECT_EQ(reply.body, c.body) << route.pattern;
      EXPECT_FALSE(reply.contentType) << route.pattern;
    }
  }
}

TEST_F(RulesRoutesTest, EveryPagedQueryAnswersItsMatchesWithTheirCount) {
  for (const PagedRoute& route : pagedRoutes()) {
    const http::Reply reply = http::replyOf(route.handler, get(route.pattern, route.segments));
    ASSERT_EQ(reply.code, http::Status::kOk) << route.pattern << " " << reply.body;
    ASSERT_TRUE(reply.contentType) << route.pattern;
    EXPECT_EQ(*reply.contentType, http::ContentType::kJson) << route.pattern;
    const std::vector<http::Pair> headers = {{"X-Total-Count", route.total},
                                             {"Access-Control-Expose-Headers", "X-Total-Count"}};
    EXPECT_EQ(reply.headers, headers) << route.pattern;
    EXPECT_NE(reply.body.find(std::string("\"sid\" : ") + route.sid), std::string::npos)
        << route.pattern << " " << reply.body;
  }
}

TEST_F(RulesRoutesTest, ListingPagesCountEveryRuleOfTheFile) {
  const struct {
    std::vector<http::Pair> query;
    const char* sid;  // the page's one rule
  } cases[] = {
      {{{"page", "1"}, {"page_size", "1"}}, "1001"},
      {{{"page", "2"}, {"page_size", "1"}}, "1002"},
      {{{"page", "3"}, {"page_size", "1"}}, "1003"},
  };
  for (const auto& c : cases) {
    const http::Reply reply = http::replyOf(Rules::HandlegetRules(), get("/rules", {}, c.query));
    ASSERT_EQ(reply.code, http::Status::kOk) << reply.body;
    ASSERT_FALSE(reply.headers.empty());
    EXPECT_EQ(reply.headers[0], http::Pair("X-Total-Count", "3"));
    EXPECT_NE(reply.body.find(std::string("\"sid\" : ") + c.sid), std::string::npos) << reply.body;
  }
}

TEST_F(RulesRoutesTest, SidSegmentsAreReadAsANumberFromTheirStart) {
  const struct {
    const char* sid;
    http::Status status;
    const char* body;  // "" for a rule object
  } cases[] = {
      {"abc", http::Status::kInternalServerError, "Bad lexical cast"},
      {"", http::Status::kInternalServerError, "Bad lexical cast"},
      {"4294967296", http::Status::kInternalServerError, "Bad lexical cast"},
      {"99", http::Status::kNotFound, "Rule with SID 99 not found"},
      {"1002x", http::Status::kOk, ""},
      {"1003", http::Status::kOk, ""},
  };
  for (const auto& c : cases) {
    const http::Reply reply =
        http::replyOf(Rules::HandlegetRuleBySid(), get("/rules/:sid", {{":sid", c.sid}}));
    EXPECT_EQ(reply.code, c.status) << c.sid;
    if (*c.body != '\0') {
      EXPECT_EQ(reply.body, c.body) << c.sid;
      EXPECT_FALSE(reply.contentType) << c.sid;
    } else {
      EXPECT_NE(reply.body.find("\"sid\" : " + std::string(c.sid, 4)), std::string::npos)
          << reply.body;
    }
  }
}

TEST_F(RulesRoutesTest, SearchPagesBelowOneFallBackAndNonNumbersAreRefused) {
  const struct {
    std::vector<http::Pair> query;
    http::Status status;
    const char* body;  // "" for a page
  } cases[] = {
      {{{"page", "x"}}, http::Status::kInternalServerError, "Invalid page parameters: stoi"},
      {{{"page_size", "ten"}}, http::Status::kInternalServerError, "Invalid page size: stoi"},
      {{{"page", "0"}, {"page_size", "-1"}}, http::Status::kOk, ""},
      {{{"status", "disabled"}}, http::Status::kOk, ""},
  };
  for (const auto& c : cases) {
    const http::Reply reply =
        http::replyOf(Rules::search_rules(), get("/rules/search", {}, c.query));
    EXPECT_EQ(reply.code, c.status) << c.body;
    if (*c.body != '\0') {
      EXPECT_EQ(reply.body, c.body);
    }
  }
}

TEST_F(RulesRoutesTest, QueriesWithoutAUsableConfigurationSayWhy) {
  const struct {
    const char* settings;  // nullptr: no configuration file at all
    const char* body;
  } cases[] = {
      {nullptr, "File I/O error"},
      {"application: { settings: { rules_file = ; }; };", "Config parse error"},
      {"application: { settings: { fast_file = \"/x\"; }; };", "SettingNotFoundException"},
      {"application: { settings: { rules_file = 3; }; };", "SettingTypeException"},
  };
  for (const auto& c : cases) {
    if (c.settings) {
      writeText(config::path(), c.settings);
    } else {
      removeConfig();
    }
    for (const PagedRoute& route : pagedRoutes()) {
      const http::Reply reply = http::replyOf(route.handler, get(route.pattern, route.segments));
      EXPECT_EQ(reply.code, http::Status::kInternalServerError) << route.pattern;
      EXPECT_EQ(reply.body, c.body) << route.pattern;
    }
  }
}

// ---- Suppressions ------------------------------------------------------------------

TEST_F(RulesRoutesTest, SuppressionRoutesWithoutAThresholdFileSaySo) {
  writeSettings({{"rules_file", quoted(rulesFile_)}});
  const http::Reply listing = http::replyOf(Rules::handleGetSuppressions(), get("/suppressions/"));
  EXPECT_EQ(listing.code, http::Status::kInternalServerError);
  EXPECT_EQ(listing.body, "Threshold file not configured");
  const std::vector<BodyCase> edits = {
      {"/suppressions/add/", Rules::handleAddSuppression(), "{\"sig_id\":1}",
       http::Status::kInternalServerError, outcome(false, "Threshold file not configured")},
      // The configuration is read before the body.
      {"/suppressions/add/", Rules::handleAddSuppression(), "{", http::Status::kInternalServerError,
       outcome(false, "Threshold file not configured")},
      {"/suppressions/delete/", Rules::handleDeleteSuppression(), "{\"line\":1,\"content\":\"x\"}",
       http::Status::kInternalServerError, outcome(false, "Threshold file not configured")},
  };
  expectRefusals(edits, rulesFile_);
}

TEST_F(RulesRoutesTest, SuppressionAddsThatDescribeNoEntryAreRefusedWithTheReason) {
  const struct {
    const char* body;
    const char* reason;
  } cases[] = {
      {"", "Invalid JSON"},
      {"{\"sig_id\":1} x", "Invalid JSON"},
      {"[]", "The body must be a JSON object"},
      {"\"suppress\"", "The body must be a JSON object"},
      {"{}", "sig_id is required"},
      {"{\"sig_id\":null}", "sig_id is required"},
      {"{\"sig_id\":1,\"msg\":\"x\"}", "Unknown member \\\"msg\\\""},
      {"{\"sig_id\":-1}", "sig_id must be an unsigned 32-bit number"},
      {"{\"sig_id\":1.5}", "sig_id must be an unsigned 32-bit number"},
      {"{\"sig_id\":\"4294967296\"}", "sig_id must be an unsigned 32-bit number"},
      {"{\"sig_id\":\"+1\"}", "sig_id must be an unsigned 32-bit number"},
      {"{\"sig_id\":1,\"track\":2,\"ip\":\"1.2.3.4\"}", "track must be a string"},
      {"{\"kind\":\"drop\",\"sig_id\":1}",
       "kind must be one of suppress, threshold, event_filter, rate_filter"},
      {"{\"sig_id\":1,\"gen_id\":0}", "a sig_id above 0 needs a gen_id above 0"},
      {"{\"sig_id\":1,\"track\":\"by_src\"}", "suppress takes track and ip together, or neither"},
  };
  const http::Handler handler = Rules::handleAddSuppression();
  for (const auto& c : cases) {
    const http::Reply reply = http::replyOf(handler, post("/suppressions/add/", c.body));
    EXPECT_EQ(reply.code, http::Status::kBadRequest) << c.body;
    EXPECT_EQ(reply.body, outcome(false, c.reason)) << c.body;
    EXPECT_FALSE(reply.contentType) << c.body;
  }
  EXPECT_EQ(readFile(thresholdFile_), "suppress gen_id 1, sig_id 1001\n");
}

TEST_F(RulesRoutesTest, SuppressionDeletesNeedTheLineAndItsText) {
  const struct {
    const char* body;
    http::Status status;
    const char* reason;
  } cases[] = {
      {"[1]", http::Status::kBadRequest, "Invalid JSON"},
      {"{\"line\":1", http::Status::kBadRequest, "Invalid JSON"},
      {"{\"content\":\"x\"}", http::Status::kBadRequest, "line must be a line number from 1"},
      {"{\"line\":0,\"content\":\"x\"}", http::Status::kBadRequest,
       "line must be a line number from 1"},
      {"{\"line\":-1,\"content\":\"x\"}", http::Status::kBadRequest,
       "line must be a line number from 1"},
      {"{\"line\":1.0,\"content\":\"x\"}", http::Status::kBadRequest,
       "line must be a line number from 1"},
      {"{\"line\":\"1\",\"content\":\"x\"}", http::Status::kBadRequest,
       "line must be a line number from 1"},
      {"{\"line\":1}", http::Status::kBadRequest, "content must be the text of that line"},
      {"{\"line\":1,\"content\":\"\"}", http::Status::kBadRequest,
       "content must be the text of that line"},
      {"{\"line\":1,\"content\":7}", http::Status::kBadRequest,
       "content must be the text of that line"},
      {"{\"line\":1,\"content\":\"suppress gen_id 1, sig_id 1002\"}", http::Status::kConflict,
       "Line 1 no longer holds that entry: the file has changed"},
      {"{\"line\":2,\"content\":\"suppress gen_id 1, sig_id 1001\"}", http::Status::kConflict,
       "Line 2 no longer holds that entry: the file has changed"},
  };
  const http::Handler handler = Rules::handleDeleteSuppression();
  for (const auto& c : cases) {
    const http::Reply reply = http::replyOf(handler, post("/suppressions/delete/", c.body));
    EXPECT_EQ(reply.code, c.status) << c.body;
    EXPECT_EQ(reply.body, outcome(false, c.reason)) << c.body;
  }
  EXPECT_EQ(readFile(thresholdFile_), "suppress gen_id 1, sig_id 1001\n");
}

TEST_F(RulesRoutesTest, SuppressionListingNamesTheRuleOfEachEntry) {
  const http::Reply reply = http::replyOf(Rules::handleGetSuppressions(), get("/suppressions/"));
  ASSERT_EQ(reply.code, http::Status::kOk) << reply.body;
  ASSERT_TRUE(reply.contentType);
  EXPECT_EQ(*reply.contentType, http::ContentType::kJson);
  ASSERT_FALSE(reply.headers.empty());
  EXPECT_EQ(reply.headers[0], http::Pair("X-Total-Count", "1"));
  // The message as the rule holds it: quotes and escapes kept.
  EXPECT_NE(reply.body.find(R"("msg" : "\"WEB (probe): \\\"x\\\"\"")"), std::string::npos)
      << reply.body;
  EXPECT_NE(reply.body.find("\"line\" : 1"), std::string::npos) << reply.body;
}

}  // namespace
