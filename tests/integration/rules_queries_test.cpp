// The rule query routes: pages of rule objects, filters, the lookup by sid,
// and the error texts of each route.
#include <json/reader.h>

#include "support/RulesFixture.h"

namespace {

using harness::get;
using harness::HttpReply;

class RulesQueriesTest : public harness::RulesTest {
 protected:
  // Rules with sids 1..count: odd ones disabled, multiples of 3 drop (else
  // alert), odd ones tcp and even ones udp, message "n<sid>".
  void writeNumbered(int count) {
    std::string text;
    for (int sid = 1; sid <= count; ++sid) {
      text += std::string(sid % 2 ? "#" : "") + (sid % 3 ? "alert " : "drop ") +
              (sid % 2 ? "tcp" : "udp") + " any any -> any any (msg:\"n" + std::to_string(sid) +
              " x\"; sid:" + std::to_string(sid) + "; rev:1;)\n";
    }
    harness::writeFile(rulesFile(), text);
  }

  // The sids of a JSON page, checking the reply's status, type and headers.
  static std::vector<unsigned> sidsOf(const HttpReply& reply) {
    EXPECT_EQ(reply.status, 200) << reply.body;
    EXPECT_EQ(reply.header("Content-Type").value_or(""), "application/json");
    harness::expectRulesCorsHeaders(reply);
    Json::Value page;
    std::string errors;
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    EXPECT_TRUE(
        reader->parse(reply.body.data(), reply.body.data() + reply.body.size(), &page, &errors))
        << reply.body;
    std::vector<unsigned> sids;
    for (const Json::Value& rule : page) sids.push_back(rule["sid"].asUInt());
    return sids;
  }
};

using Sids = std::vector<unsigned>;

TEST_F(RulesQueriesTest, RuleObjectsAreWrittenWithTabsAndSortedMembers) {
  writeNumbered(3);
  const HttpReply page = get("/rules?page=2&page_size=1");
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.body,
            "[\n\t{\n\t\t\"action\" : \"alert\",\n\t\t\"classtype\" : \"unlnown\",\n"
            "\t\t\"content\" : "
            "\"alert udp any any -> any any (msg:\\\"n2 x\\\"; sid:2; rev:1;)\",\n"
            "\t\t\"enabled\" : true,\n\t\t\"msg\" : \"\\\"n2 x\\\"\",\n"
            "\t\t\"protocol\" : \"udp\",\n\t\t\"rev\" : 1,\n\t\t\"sid\" : 2\n\t}\n]");
  const HttpReply one = get("/rules/0003");
  EXPECT_EQ(one.status, 200);
  EXPECT_EQ(one.header("Content-Type").value_or(""), "application/json");
  harness::expectRulesCorsHeaders(one);
  EXPECT_EQ(one.body,
            "{\n\t\"action\" : \"drop\",\n\t\"classtype\" : \"unlnown\",\n"
            "\t\"content\" : \"drop tcp any any -> any any (msg:\\\"n3 x\\\"; sid:3; rev:1;)\",\n"
            "\t\"enabled\" : false,\n\t\"msg\" : \"\\\"n3 x\\\"\",\n"
            "\t\"protocol\" : \"tcp\",\n\t\"rev\" : 1,\n\t\"sid\" : 3\n}");
}

TEST_F(RulesQueriesTest, EachRouteFiltersAndPages) {
  writeNumbered(12);
  struct Case {
    const char* path;
    Sids sids;
  };
  const Case cases[] = {
      {"/rules", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {"/rules?page=2&page_size=3", {4, 5, 6}},
      {"/rules?page=4&page_size=4", {}},
      {"/rules?page=2147483647&page_size=2147483647", {}},
      {"/rules?page=1x&page_size=2", {1, 2}},
      {"/rules/status/enabled?page_size=3", {2, 4, 6}},
      {"/rules/status/disabled?page=2&page_size=4", {9, 11}},
      {"/rules/status/Enabled?page_size=2", {1, 3}},
      {"/rules/action/drop", {3, 6, 9, 12}},
      {"/rules/action/drop?page=3", {}},
      {"/rules/protocol/udp?page=2&page_size=2", {6, 8}},
      {"/rules/duplicated/0xC", {12}},
      {"/rules/duplicated/010", {8}},
      {"/rules/signature/n1%20x", {1}},
      {"/rules/signature/n1", {1, 10, 11, 12}},
      {"/rules/signature/N1", {}},
      {"/rules/search?action=alert&protocol=tcp", {1, 5, 7, 11}},
      {"/rules/search?action=alert&status=enabled&page=2&page_size=2", {8, 10}},
      {"/rules/search?protocol=udp&page=0&page_size=-5", {2, 4, 6, 8, 10, 12}},
      {"/rules/search?page=99", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(sidsOf(get(c.path)), c.sids);
  }
}

// The front end could not tell how many pages a query has.
TEST_F(RulesQueriesTest, EveryPagedRouteCountsItsMatchesBeforePaging) {
  writeNumbered(12);
  const std::pair<const char*, const char*> cases[] = {
      {"/rules?page=2&page_size=3", "12"},
      {"/rules?page=9", "12"},
      {"/rules/status/enabled?page_size=3", "6"},
      {"/rules/action/drop?page=3", "4"},
      {"/rules/protocol/udp?page=2&page_size=2", "6"},
      {"/rules/duplicated/0xC", "1"},
      {"/rules/signature/n1", "4"},
      {"/rules/signature/N1", "0"},
      {"/rules/search?action=alert&status=enabled&page=2&page_size=2", "4"},
  };
  for (const auto& [path, total] : cases) {
    SCOPED_TRACE(path);
    const HttpReply reply = get(path);
    EXPECT_EQ(reply.header("X-Total-Count").value_or(""), total);
    EXPECT_EQ(reply.header("Access-Control-Expose-Headers").value_or(""), "X-Total-Count");
  }
}

TEST_F(RulesQueriesTest, TwoRulesWithOneSid) {
  harness::writeFile(rulesFile(),
                     "alert tcp any any -> any any (msg:\"first\"; sid:5; rev:1;)\n"
                     "alert tcp any any -> any any (msg:\"second\"; sid:5; rev:2;)");
  EXPECT_EQ(sidsOf(get("/rules/duplicated/5")), (Sids{5, 5}));
  const HttpReply one = get("/rules/5");
  EXPECT_NE(one.body.find("first"), std::string::npos) << one.body;
}

TEST_F(RulesQueriesTest, ErrorsAnswerPlainText) {
  harness::writeFile(rulesFile(), "alert tcp any any -> any any (msg:\"a\"; sid:1; rev:1;)\n");
  struct Case {
    const char* path;
    long status;
    const char* body;
  };
  const Case cases[] = {
      {"/rules?page=0", 500, "Invalid pagination parameters"},
      {"/rules?page_size=-1", 500, "Invalid pagination parameters"},
      {"/rules?page=abc", 500, "stoi"},
      {"/rules?page=99999999999", 500, "stoi"},
      {"/rules/action/alert?page_size=0", 500, "Invalid pagination parameters"},
      {"/rules/protocol/tcp?page=x", 500, "stoi"},
      {"/rules/search?page=abc", 500, "Invalid page parameters: stoi"},
      {"/rules/search?page_size=abc", 500, "Invalid page size: stoi"},
      {"/rules/abc", 500, "Bad lexical cast"},
      {"/rules/2", 404, "Rule with SID 2 not found"},
      {"/rules/0012", 404, "Rule with SID 12 not found"},
      {"/rules/duplicated/abc", 500, "stoul"},
      {"/rules/duplicated/99999999999999999999999", 500, "stoul"},
      {"/rules/signature/%zz", 500, "stoi"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    expectText(get(c.path), c.status, c.body);
  }
}

// A blank line failed every listing with 500 "Unable to parse line 3: stoi";
// it is no rule, so every query passes over it.
TEST_F(RulesQueriesTest, ALineWithoutSidIsPassedOverByEveryQuery) {
  harness::writeFile(rulesFile(),
                     "alert tcp any any -> any any (msg:\"a\"; sid:1; rev:1;)\n"
                     "alert tcp any any -> any any (msg:\"b\"; sid:2; rev:1;)\n"
                     "\n"
                     "alert tcp any any -> any any (msg:\"c\"; sid:3; rev:1;)\n");
  for (const char* path :
       {"/rules", "/rules/action/alert", "/rules/status/enabled", "/rules/search"}) {
    SCOPED_TRACE(path);
    const harness::HttpReply reply = get(path);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.header("X-Total-Count").value_or("3"), "3");
    EXPECT_NE(reply.body.find("\"sid\" : 3"), std::string::npos);
  }
  EXPECT_EQ(get("/rules/3").status, 200);
}

TEST_F(RulesQueriesTest, ConfigurationAndFileFailures) {
  expectText(get("/rules"), 500, "Unable to open rules file");
  expectText(get("/rules/1"), 500, "Unable to open rules file");
  expectText(get("/rules/search"), 500, "Unable to open rules file");

  config_.remove("rules_file").write();
  expectText(get("/rules/action/alert"), 500, "SettingNotFoundException");

  harness::TestConfig::writeRaw("application: { settings: { rules_file = ; }; };\n");
  expectText(get("/rules"), 500, "Config parse error");
  expectText(get("/rules/search"), 500, "Config parse error");

  harness::TestConfig::erase();
  for (const char* path : {"/rules", "/rules/1", "/rules/status/enabled", "/rules/search"}) {
    SCOPED_TRACE(path);
    expectText(get(path), 500, "File I/O error");
  }
  // The page keys of the listing are read after the configuration, those of
  // the filters before it.
  expectText(get("/rules?page=x"), 500, "File I/O error");
  expectText(get("/rules/action/alert?page=x"), 500, "stoi");
}

}  // namespace
