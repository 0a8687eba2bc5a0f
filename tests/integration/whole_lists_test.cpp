// Whole-list routes over lists longer than one slice of the walk, and the
// flow search's shortcut past elements that cannot hold the flow id.
#include <json/json.h>

#include "support/EventReplies.h"

namespace {

using harness::get;
using harness::HttpReply;
using harness::TestRedis;

// An alert of signature 7 in flow `flow` (its JSON text as stored).
std::string alert(const std::string& flow) {
  return R"({"timestamp":"2026-01-01T00:00:00.000+0000","flow_id":)" + flow +
         R"(,"event_type":"alert","src_ip":"10.0.0.1","alert":{"signature_id":7,)"
         R"("signature":"S","category":"C"}})";
}

// `count` alerts of flows 100000, 100001, ...
std::vector<std::string> alerts(int count) {
  std::vector<std::string> texts;
  for (int i = 0; i < count; ++i) texts.push_back(alert(std::to_string(100000 + i)));
  return texts;
}

class WholeListsTest : public harness::IntegrationTest {};

TEST_F(WholeListsTest, SignatureTotalsCountEverySlice) {
  TestRedis::rpush("alert", alerts(9001));
  const HttpReply reply = get("/events/alertssignatures");
  harness::expectEventsJson(reply);
  const Json::Value rows = harness::parseJson(reply.body);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["total"].asInt(), 9001);
}

TEST_F(WholeListsTest, FlowSearchFindsEventsPastTheFirstSlice) {
  TestRedis::rpush("alert", alerts(9001));
  const HttpReply reply = get("/events/search/109000");
  harness::expectEventsJson(reply);
  EXPECT_EQ(harness::parseJson(reply.body)["flow_id"].asInt(), 109000);
}

// The search skips elements whose text holds neither the digits nor an
// escaped digit; every way of writing a flow id must still be found or
// missed exactly as a full read decides.
TEST_F(WholeListsTest, FlowSearchReadsEveryWayOfWritingTheFlowId) {
  const struct {
    const char* stored;  // the flow_id member's value as stored
    bool found;          // by GET /events/search/123
  } cases[] = {
      {"123", true},
      {R"("123")", true},
      {R"("\u0031\u0032\u0033")", true},
      {R"("1\u00323")", true},
      {"123.0", false},  // a real number reads as "123.0"
      {"1.23e2", false},
      {R"("0123")", false},
      {"1234", false},
      {R"({"id":123})", false},
  };
  for (const auto& c : cases) {
    TestRedis::flushAll();
    TestRedis::rpush("alert", {alert(c.stored)});
    const HttpReply reply = get("/events/search/123");
    harness::expectEventsJson(reply);
    EXPECT_EQ(reply.body != "null", c.found) << c.stored << ": " << reply.body;
  }
}

}  // namespace
