// Dashboard aggregates: alerts per signature over the whole list, and alerts
// and anomalies per local hour over the last 24 hours.
#include "support/EventReplies.h"

namespace {

using harness::get;
using harness::HttpReply;
using harness::localText;
using harness::TestRedis;

Json::Value parse(const std::string& text) { return harness::parseJson(text); }
void expectJson(const HttpReply& reply) { harness::expectEventsJson(reply); }

std::string hourOf(time_t moment) { return localText(moment, "%Y-%m-%dT%H"); }

class AlertAggregatesTest : public harness::IntegrationTest {};

TEST_F(AlertAggregatesTest, SignaturesCountTheWholeListPerSignatureId) {
  const HttpReply empty = get("/events/alertssignatures");
  expectJson(empty);
  EXPECT_EQ(empty.body, "[]");

  TestRedis::rpush(
      "alert",
      {R"({"alert":{"signature":"First text","signature_id":2001,"category":"Scan"}})",
       R"({"alert":{"signature":"Other","signature_id":3000000000,"category":"Policy"}})",
       R"({"alert":{"signature":"Later text","signature_id":2001,"category":"Other"}})", "not json",
       R"({"event_type":"alert"})", R"("just a string")",
       R"({"alert":{"signature":"Other","signature_id":3000000000,"category":"Policy"}})"});
  for (int i = 0; i < 120; ++i) {
    TestRedis::rpush("alert",
                     {R"({"alert":{"signature":"Many","signature_id":9,"category":"X"}})"});
  }
  const Json::Value expected =
      parse(R"([{"category":"Scan","signature":"First text","signature_id":2001,"total":2},)"
            R"({"category":"Policy","signature":"Other","signature_id":3000000000,"total":2},)"
            R"({"category":"","signature":"","signature_id":0,"total":2},)"
            R"({"category":"X","signature":"Many","signature_id":9,"total":120}])");
  for (const char* query : {"", "?limit=0", "?offset=5&limit=1"}) {
    SCOPED_TRACE(query);
    const HttpReply reply = get(std::string("/events/alertssignatures") + query);
    expectJson(reply);
    EXPECT_EQ(parse(reply.body), expected) << reply.body;
  }
}

// Counts of a list per local hour: 24 buckets ending with the current hour,
// events from just under an hour ahead to just under 24 hours back.
TEST_F(AlertAggregatesTest, HourBucketsLocalTime) {
  struct Stamp {
    long offset;  // seconds from now
    bool counted;
  };
  const Stamp stamps[] = {{-10 * 60, true},
                          {-10 * 60, true},
                          {30 * 60, true},
                          {90 * 60, false},
                          {-(23 * 3600 + 1800), true},
                          {-24 * 3600 - 5, false},
                          {-5 * 3600, true},
                          {-48 * 3600, false}};
  for (const char* list : {"alert", "anomaly"}) {
    SCOPED_TRACE(list);
    const std::string route =
        std::string(list) == "alert" ? "/events/alertsbyhours" : "/events/anomaliesbyhours";
    // Retried when the hour turns while the reply is built.
    for (int attempt = 0; attempt < 3; ++attempt) {
      TestRedis::flushAll();
      const time_t now = time(nullptr);
      Json::Value expected(Json::objectValue);
      for (int k = 0; k < 24; ++k) expected[hourOf(now - k * 3600)] = 0;
      std::vector<std::string> events = {"not json", R"({"event_type":"anomaly"})",
                                         R"({"timestamp":"yesterday"})", "[3]"};
      for (const Stamp& stamp : stamps) {
        // The zone offset written after the seconds is not read.
        events.push_back(R"({"timestamp":")" +
                         localText(now + stamp.offset, "%Y-%m-%dT%H:%M:%S.000000+0900") + R"("})");
        if (stamp.counted) {
          Json::Value& count = expected[hourOf(now + stamp.offset)];
          count = count.asInt() + 1;
        }
      }
      TestRedis::rpush(list, events);
      const HttpReply reply = get(route);
      if (hourOf(now) != hourOf(time(nullptr))) continue;
      expectJson(reply);
      EXPECT_EQ(parse(reply.body), expected) << reply.body;
      break;
    }
  }
}

TEST_F(AlertAggregatesTest, EmptyListsGiveTwentyFourZeroBucketsLocalTime) {
  for (const char* route : {"/events/alertsbyhours", "/events/anomaliesbyhours"}) {
    SCOPED_TRACE(route);
    const HttpReply reply = get(route);
    expectJson(reply);
    const Json::Value buckets = parse(reply.body);
    EXPECT_EQ(buckets.size(), 24u);
    for (const std::string& key : buckets.getMemberNames()) EXPECT_EQ(buckets[key], 0) << key;
    EXPECT_TRUE(buckets.isMember(hourOf(time(nullptr))) ||
                buckets.isMember(hourOf(time(nullptr) - 60)));
  }
}

TEST_F(AlertAggregatesTest, ErrorReplies) {
  TestRedis::command({"SET", "alert", "x"});
  TestRedis::command({"SET", "anomaly", "x"});
  const std::pair<const char*, const char*> cases[] = {
      {"/events/alertssignatures", "Events: Invalid Redis response"},
      {"/events/alertsbyhours", "Invalid Redis response, expected ARRAY"},
      {"/events/anomaliesbyhours", "Invalid Redis response, expected ARRAY"},
  };
  for (const auto& [route, body] : cases) {
    SCOPED_TRACE(route);
    harness::expectEventsText(get(route), 500, body);
  }
}

}  // namespace
