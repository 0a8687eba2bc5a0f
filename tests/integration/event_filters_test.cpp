// The filter routes: a page narrowed by addresses, ports and protocol, and a
// page narrowed to a time window that ends now (local time).
#include "support/EventReplies.h"

namespace {

using harness::expectEventsJson;
using harness::expectEventsText;
using harness::get;
using harness::HttpReply;
using harness::localStamp;
using harness::TestRedis;

// The "flow_id" of each event of a JSON array reply, in order.
std::vector<int> flows(const HttpReply& reply) {
  std::vector<int> ids;
  for (const Json::Value& event : harness::parseJson(reply.body))
    ids.push_back(event["flow_id"].asInt());
  return ids;
}

class EventFiltersTest : public harness::IntegrationTest {};

TEST_F(EventFiltersTest, FindMatchesTheTextOfEachGivenFilterExactly) {
  TestRedis::rpush("alert", {R"({"flow_id":1,"src_ip":"10.0.0.1","src_port":80,)"
                             R"("dest_ip":"8.8.8.8","dest_port":53,"proto":"UDP"})",
                             R"({"flow_id":2,"src_ip":"10.0.0.2","src_port":443,)"
                             R"("dest_ip":"1.1.1.1","dest_port":443,"proto":"TCP"})",
                             R"({"flow_id":3,"src_ip":"10.0.0.1","src_port":"80",)"
                             R"("dest_ip":"1.1.1.1"})"});
  const std::pair<std::string, std::vector<int>> cases[] = {
      {"", {1, 2, 3}},
      {"?src_port=80", {1, 3}},
      {"?src_port=080", {}},
      {"?des_ip=1.1.1.1", {2, 3}},
      {"?dest_ip=1.1.1.1", {1, 2, 3}},  // not a filter key
      {"?proto=", {3}},
      {"?proto=tcp", {}},
      {"?proto=TCP", {2}},
      {"?src_ip=10.0.0.1&des_port=53", {1}},
      {"?src_ip=10.0.0.1&des_port=443", {}},
      {"?offset=1&limit=1", {2}},
  };
  for (const auto& [query, expected] : cases) {
    SCOPED_TRACE(query);
    const HttpReply reply = get("/events/find/alert" + query);
    expectEventsJson(reply);
    EXPECT_EQ(flows(reply), expected);
  }
}

// A front end that builds its query with URLSearchParams escapes every ":"
// of an IPv6 address; the value is matched as decoded. "+" stays as sent,
// and a "%" that starts no escape is matched as it is.
TEST_F(EventFiltersTest, FindDecodesPercentEscapesInQueryValues) {
  TestRedis::rpush("alert",
                   {R"({"flow_id":1,"src_ip":"fe80:0000:0000:0000:0202:b3ff:fe1e:8329",)"
                    R"("src_port":5353,"dest_ip":"ff02:0000:0000:0000:0000:0000:0000:00fb",)"
                    R"("dest_port":5353,"proto":"UDP"})",
                    R"({"flow_id":2,"src_ip":"10.0.0.1","proto":"a+b"})",
                    R"({"flow_id":3,"src_ip":"10.0.0.2","proto":"a b"})",
                    R"({"flow_id":4,"src_ip":"10.0.0.3","proto":"50%"})"});
  const std::pair<std::string, std::vector<int>> cases[] = {
      {"?src_ip=fe80%3A0000%3A0000%3A0000%3A0202%3Ab3ff%3Afe1e%3A8329", {1}},
      {"?src_ip=fe80%3a0000%3a0000%3a0000%3a0202%3ab3ff%3afe1e%3a8329", {1}},
      {"?src_ip=fe80:0000:0000:0000:0202:b3ff:fe1e:8329", {1}},
      {"?des_ip=ff02%3A0000%3A0000%3A0000%3A0000%3A0000%3A0000%3A00fb&des_port=5353", {1}},
      {"?src_ip=fe80%3A0000%3A0000%3A0000%3A0202%3Ab3ff%3Afe1e%3A8328", {}},
      {"?src_ip=%31%30.0.0.1", {2}},
      {"?proto=a+b", {2}},
      {"?proto=a%2Bb", {2}},
      {"?proto=a%20b", {3}},
      {"?proto=50%", {4}},
      {"?proto=50%25", {4}},
      {"?src_ip=10.0.0.1&offset=%30&limit=%33", {2}},
  };
  for (const auto& [query, expected] : cases) {
    SCOPED_TRACE(query);
    const HttpReply reply = get("/events/find/alert" + query);
    expectEventsJson(reply);
    EXPECT_EQ(flows(reply), expected);
  }
}

TEST_F(EventFiltersTest, FindWithoutFiltersGivesThePlainPageAndStaysInsideIt) {
  std::vector<std::string> events;
  for (int i = 0; i < 151; ++i) {
    events.push_back(R"({"flow_id":)" + std::to_string(i) + R"(,"proto":")" +
                     (i == 150 ? "ICMP" : "TCP") + R"(","b":1,"a":[2]})");
  }
  TestRedis::rpush("flow", events);
  EXPECT_EQ(get("/events/find/flow?offset=3&limit=7").body,
            get("/events/flow?offset=3&limit=7").body);
  EXPECT_EQ(get("/events/find/flow").body, get("/events/flow").body);
  EXPECT_EQ(flows(get("/events/find/flow?proto=ICMP")), std::vector<int>{});
  EXPECT_EQ(flows(get("/events/find/flow?proto=ICMP&offset=100&limit=200")), std::vector<int>{150});
}

TEST_F(EventFiltersTest, FindFailsOnAnyElementOfThePageThatIsNotJson) {
  TestRedis::rpush("alert", {R"({"flow_id":1})", "not json", R"({"flow_id":3})"});
  const HttpReply reply = get("/events/find/alert");
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(reply.body.rfind("Events: JSON parsing error: ", 0), 0u) << reply.body;
  EXPECT_EQ(reply.headerCount("Content-Type"), 0u);
  EXPECT_EQ(flows(get("/events/find/alert?limit=0")), std::vector<int>{1});
  TestRedis::command({"SET", "plain", "x"});
  expectEventsText(get("/events/find/plain"), 500, "Events: Invalid Redis response");
}

TEST_F(EventFiltersTest, TimeWindowLocalTime) {
  TestRedis::rpush("alert", {R"({"flow_id":1,"timestamp":")" + localStamp(-10 * 60) + R"("})",
                             R"({"flow_id":2,"timestamp":")" + localStamp(-150 * 60) + R"("})",
                             R"({"flow_id":3,"timestamp":")" + localStamp(10 * 60) + R"("})",
                             R"({"flow_id":4})", "not json", R"([1,2])",
                             R"({"flow_id":5,"timestamp":"2000-01-01T00:00:00.000000+0000"})",
                             R"({"flow_id":6,"timestamp":"2000-01-01"})",
                             R"({"flow_id":7,"timestamp":")" + localStamp(-50 * 3600) + R"("})"});
  const std::pair<std::string, std::vector<int>> cases[] = {
      {"", {1}},
      {"?timeshift=1", {1}},
      {"?timeshift=3", {1, 2}},
      {"?timeshift=2abc", {1}},
      {"?timeshift=0", {}},
      {"?timeshift=-1", {}},
      {"?timeshift=51", {1, 2, 7}},
      {"?timeshift=51&offset=1&limit=2", {2}},
      // Beyond 596523 hours the window start no longer fits in 32 bits.
      {"?timeshift=600000", {1, 2, 5, 7}},
      {"?timeshift=2147483647", {1, 2, 5, 7}},
      {"?timeshift=-2147483648", {}},
  };
  for (const auto& [query, expected] : cases) {
    SCOPED_TRACE(query);
    const HttpReply reply = get("/events/check/alert" + query);
    expectEventsJson(reply);
    EXPECT_EQ(flows(reply), expected);
  }
}

TEST_F(EventFiltersTest, TimeWindowErrorReplies) {
  TestRedis::command({"SET", "plain", "x"});
  for (const char* shift : {"abc", "", "99999999999", "-2147483649"}) {
    SCOPED_TRACE(shift);
    expectEventsText(get(std::string("/events/check/alert?timeshift=") + shift), 400,
                     "Invalid timeshift parameter");
  }
  expectEventsText(get("/events/check/plain"), 500, "Invalid Redis response");
}

TEST_F(EventFiltersTest, TimeWindowWithRedisStoppedGivesTheGeneralError) {
  harness::RedisRestarter restart;
  TestRedis::stop();
  expectEventsText(get("/events/check/alert"), 500,
                   "An error occurred while processing the request");
  expectEventsText(get("/events/find/alert"), 500, "Redis connection error: Connection refused");
}

}  // namespace
