// The local indicator store: pages, finds by identifier, type and status, and
// the switch of one indicator, including switches that arrive together.
#include <json/reader.h>
#include <unistd.h>

#include <future>

#include "support/Harness.h"

namespace {

using harness::get;
using harness::HttpReply;
using harness::post;
using harness::readFile;
using harness::writeFile;

// A stored record written by hand; the server recomputes uid and uniq_id.
std::string storedRecord(const std::string& id, const std::string& type, const std::string& value,
                         bool status) {
  return "{\"id\":\"" + id + "\",\"ioc_type\":\"" + type + "\",\"ioc_value\":\"" + value +
         "\",\"status\":" + (status ? "true" : "false") + ",\"uid\":1,\"uniq_id\":\"1\"}";
}

Json::Value parse(const std::string& text) {
  Json::Value value;
  EXPECT_TRUE(Json::Reader().parse(text, value)) << text;
  return value;
}

std::vector<std::string> idsOf(const HttpReply& reply) {
  std::vector<std::string> ids;
  for (const Json::Value& record : parse(reply.body)) ids.push_back(record["id"].asString());
  return ids;
}

std::vector<std::string> range(int first, int last) {
  std::vector<std::string> ids;
  for (int i = first; i <= last; ++i) ids.push_back(std::to_string(i));
  return ids;
}

class IocStoreTest : public harness::IntegrationTest {
 protected:
  void SetUp() override {
    harness::IntegrationTest::SetUp();
    store_ = config_.path("ioc_local_file_name");
    // Twelve records: ids 1 to 12, types in turn, number 3 switched off.
    const char* types[] = {"ip:port", "domain", "url"};
    std::string text = "[";
    for (int i = 1; i <= 12; ++i) {
      if (i > 1) text += ",";
      text +=
          storedRecord(std::to_string(i), types[(i - 1) % 3], "value" + std::to_string(i), i != 3);
    }
    writeFile(store_, text + "]");
  }

  // uniq_id of the record with feed id `id`, as a client reads it.
  std::string uniqIdOf(const std::string& id) {
    return parse(get("/ioc/ioc_id/" + id).body)[0]["uniq_id"].asString();
  }

  std::string store_;
};

TEST_F(IocStoreTest, ListingAnswersStyledJsonArrayOfTheFirstTenRecords) {
  const HttpReply reply = get("/ioc/");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.header("Content-Type").value_or(""), "application/json");
  EXPECT_EQ(reply.header("Access-Control-Allow-Methods").value_or(""),
            "GET, POST, PUT, DELETE, OPTIONS");
  EXPECT_EQ(idsOf(reply), range(1, 10));
  EXPECT_EQ(reply.body.substr(0, 4), "[\n\t{");
  EXPECT_EQ(reply.body.back(), '\n');

  const Json::Value first = parse(reply.body)[0];
  EXPECT_EQ(first.getMemberNames().size(), 17u);
  EXPECT_NE(first["uniq_id"].asString(), "1") << "the stored uid was trusted";
  EXPECT_EQ(first["uniq_id"].asString(), std::to_string(first["uid"].asUInt64()));
}

TEST_F(IocStoreTest, PageKeysSelectTheirSliceOrAnswer400) {
  struct Case {
    const char* query;
    long status;
    std::vector<std::string> ids;
    const char* body;  // checked when not empty
  };
  const Case cases[] = {
      {"?page=2", 200, range(11, 12), ""},
      {"?page=0", 200, range(1, 10), ""},
      {"?page=-3", 200, range(1, 10), ""},
      {"?page=2x", 200, range(11, 12), ""},
      {"?page_size=0", 200, range(1, 10), ""},
      {"?page=2&page_size=5", 200, range(6, 10), ""},
      {"?page=3&page_size=5", 200, range(11, 12), ""},
      {"?page=2147483647&page_size=2147483647", 200, {}, "null\n"},
      {"?page=4&page_size=5", 200, {}, "null\n"},
      {"?page=abc", 400, {}, "Invalid 'page' parameter"},
      {"?page=99999999999", 400, {}, "Invalid 'page' parameter"},
      {"?page_size=x", 400, {}, "Invalid 'page_size' parameter"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    const HttpReply reply = get(std::string("/ioc/") + c.query);
    EXPECT_EQ(reply.status, c.status);
    if (*c.body != '\0') {
      EXPECT_EQ(reply.body, c.body);
    }
    if (c.status == 200 && !c.ids.empty()) {
      EXPECT_EQ(idsOf(reply), c.ids);
    }
    if (c.status == 400) {
      EXPECT_EQ(reply.headerCount("Content-Type"), 0u);
    }
  }
}

TEST_F(IocStoreTest, FindsMatchIdTypeAndStatusExactly) {
  struct Case {
    const char* path;
    std::vector<std::string> ids;
  };
  const Case cases[] = {
      {"/ioc/ioc_id/5", {"5"}},
      {"/ioc/ioc_id/50", {}},
      {"/ioc/ioc_type/ip:port", {"1", "4", "7", "10"}},
      {"/ioc/ioc_type/ip%3Aport", {}},  // segments are not decoded
      {"/ioc/ioc_type/URL", {}},
      {"/ioc/ioc_type/url?page=2&page_size=3", {"12"}},
      {"/ioc/ioc_status/enabled?page_size=20",
       {"1", "2", "4", "5", "6", "7", "8", "9", "10", "11", "12"}},
      {"/ioc/ioc_status/disabled", {"3"}},
      {"/ioc/ioc_status/false", {"3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const HttpReply reply = get(c.path);
    EXPECT_EQ(reply.status, 200);
    if (c.ids.empty()) {
      EXPECT_EQ(reply.body, "null\n");
    } else {
      EXPECT_EQ(idsOf(reply), c.ids);
    }
  }
}

TEST_F(IocStoreTest, ListingAndFindsCountTheirMatchesBeforePaging) {
  const std::pair<const char*, const char*> cases[] = {
      {"/ioc/?page=2&page_size=5", "12"},
      {"/ioc/ioc_id/50", "0"},
      {"/ioc/ioc_type/url?page=2&page_size=3", "4"},
      {"/ioc/ioc_status/disabled", "1"},
  };
  for (const auto& [path, total] : cases) {
    SCOPED_TRACE(path);
    const HttpReply reply = get(path);
    EXPECT_EQ(reply.header("X-Total-Count").value_or(""), total);
    EXPECT_EQ(reply.header("Access-Control-Expose-Headers").value_or(""), "X-Total-Count");
  }
}

TEST_F(IocStoreTest, StoreFailuresAnswer500ButBadPageKeysComeFirst) {
  writeFile(store_, "[{\"id\":");
  HttpReply reply = get("/ioc/ioc_type/url");
  EXPECT_EQ(reply.status, 500);
  EXPECT_FALSE(reply.body.empty());

  unlink(store_.c_str());
  for (const char* path : {"/ioc/", "/ioc/ioc_id/1", "/ioc/ioc_type/url", "/ioc/ioc_status/x"}) {
    SCOPED_TRACE(path);
    reply = get(path);
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(reply.body, "Unable to open IOC file");
    EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
  }
  EXPECT_EQ(get("/ioc/?page=x").status, 400);

  config_.remove("ioc_local_file_name").write();
  EXPECT_EQ(get("/ioc/").body, "Config setting not found");
  harness::TestConfig::writeRaw("application: { settings: { ioc_local_file_name = ; }; };");
  EXPECT_EQ(get("/ioc/").body, "Error reading config file: ");
  EXPECT_EQ(get("/ioc/ioc_id/1").body, "Error reading config file");
}

TEST_F(IocStoreTest, ToggleFlipsTheStatusAndTogglingTwiceRestoresIt) {
  const std::string uid = uniqIdOf("4");
  HttpReply reply = post("/ioc/toggle/", "{\"content\":\"" + uid + "\"}");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body,
            "{\n\t\"message\" : \"Threat status was changed.\",\n\t\"status\" : \"success\"\n}\n");
  EXPECT_EQ(reply.headerCount("Content-Type"), 0u);
  EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
  EXPECT_EQ(idsOf(get("/ioc/ioc_status/disabled")), (std::vector<std::string>{"3", "4"}));

  const std::string afterFirst = readFile(store_);
  reply = post("/ioc/toggle/", "{\"content\":" + uid + "}");  // as a JSON number
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(idsOf(get("/ioc/ioc_status/disabled")), (std::vector<std::string>{"3"}));
  EXPECT_NE(readFile(store_), afterFirst);
  reply = post("/ioc/toggle/", "{\"content\":\"" + uid + "\"}");
  EXPECT_EQ(readFile(store_), afterFirst);
}

TEST_F(IocStoreTest, ToggleOfTwoEqualIndicatorsSwitchesBoth) {
  writeFile(store_, "[" + storedRecord("9", "domain", "twice.example", true) + "," +
                        storedRecord("8", "domain", "other.example", true) + "," +
                        storedRecord("9", "domain", "twice.example", true) + "]");
  EXPECT_EQ(post("/ioc/toggle/", "{\"content\":\"" + uniqIdOf("9") + "\"}").status, 200);
  EXPECT_EQ(idsOf(get("/ioc/ioc_status/disabled")), (std::vector<std::string>{"9", "9"}));
}

TEST_F(IocStoreTest, ToggleRejectionsAnswerTheirJsonAndLeaveTheStore) {
  struct Case {
    std::string body;
    long status;
    const char* message;
  };
  const std::string request = "{\"content\":\"" + uniqIdOf("4") + "\"}";
  const Case cases[] = {
      {"not json", 400, "Invalid JSON format"},
      // A valid request with more after it, or a byte-order mark before it,
      // used to switch the indicator.
      {request + " {}", 400, "Invalid JSON format"},
      {"\xEF\xBB\xBF" + request, 400, "Invalid JSON format"},
      // Nesting past the reader's limit answered 500 with the reader's error.
      {std::string(100000, '['), 400, "Invalid JSON format"},
      {"", 400, "Invalid JSON format"},
      {"{}", 400, "Content ID is missing"},
      {"{\"content\":null}", 400, "Content ID is missing"},
      {"{\"content\":\"\"}", 400, "Content ID is missing"},
      // A body that is JSON but no object used to escape the handler.
      {"[1,2]", 400, "Content ID is missing"},
      {"{\"content\":[1]}", 400, "Content ID is missing"},
      {"{\"content\":\"123\"}", 500, "Threat with given UID not found"},
      {"{\"content\":\"letters\"}", 500, "Threat with given UID not found"},
  };
  const std::string before = readFile(store_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body.substr(0, 40));
    const HttpReply reply = harness::http("POST", "/ioc/toggle/", c.body);
    EXPECT_EQ(reply.status, c.status);
    const Json::Value answer = parse(reply.body);
    EXPECT_EQ(answer["status"].asString(), "error");
    EXPECT_EQ(answer["message"].asString(), c.message);
    EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
    EXPECT_EQ(readFile(store_), before);
  }
  unlink(store_.c_str());
  const HttpReply reply = post("/ioc/toggle/", "{\"content\":\"1\"}");
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(parse(reply.body)["message"].asString(), "Unable to open file: " + store_);
}

// A sign before the digits used to reach the unsigned conversion, which
// negates: "-N" switched the record whose uid is 2^64 - N.
TEST_F(IocStoreTest, ToggleWithASignedUidMatchesNoRecord) {
  const uint64_t uid = std::stoull(uniqIdOf("4"));
  const std::string before = readFile(store_);
  const HttpReply reply =
      post("/ioc/toggle/", "{\"content\":\"-" + std::to_string(0 - uid) + "\"}");
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(parse(reply.body)["message"].asString(), "Threat with given UID not found");
  EXPECT_EQ(readFile(store_), before);

  // Blanks before the digits are skipped.
  EXPECT_EQ(post("/ioc/toggle/", "{\"content\":\" \\t" + std::to_string(uid) + "\"}").status, 200);
  EXPECT_EQ(idsOf(get("/ioc/ioc_status/disabled")), (std::vector<std::string>{"3", "4"}));
}

// Two workers each read, switch and rewrite the whole store; without
// serialisation one of two concurrent switches was lost.
TEST_F(IocStoreTest, TwentyTogglesTwoAtATimeLeaveAllTwentySwitched) {
  std::string text = "[";
  for (int i = 1; i <= 20; ++i) {
    text += (i > 1 ? "," : "") + storedRecord(std::to_string(100 + i), "domain",
                                              "d" + std::to_string(i) + ".example", true);
  }
  writeFile(store_, text + "]");
  std::vector<std::string> uids;
  for (const Json::Value& record : parse(get("/ioc/?page_size=20").body)) {
    uids.push_back(record["uniq_id"].asString());
  }
  ASSERT_EQ(uids.size(), 20u);

  auto toggleEvery = [&](size_t start) {
    int ok = 0;
    for (size_t i = start; i < uids.size(); i += 2) {
      ok += post("/ioc/toggle/", "{\"content\":\"" + uids[i] + "\"}").status == 200 ? 1 : 0;
    }
    return ok;
  };
  auto even = std::async(std::launch::async, toggleEvery, 0);
  auto odd = std::async(std::launch::async, toggleEvery, 1);
  EXPECT_EQ(even.get() + odd.get(), 20);
  EXPECT_EQ(get("/ioc/ioc_status/enabled").body, "null\n");
  EXPECT_EQ(idsOf(get("/ioc/ioc_status/disabled?page_size=20")), range(101, 120));
}

}  // namespace
