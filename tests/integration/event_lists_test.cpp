// The event list routes against the tests' own Redis: pages, counts, single
// events, flow search, deletion, and their error replies.
#include <json/json.h>

#include "support/EventReplies.h"

namespace {

using harness::get;
using harness::http;
using harness::HttpReply;
using harness::TestRedis;

std::string event(int i, const std::string& flow) {
  return R"({"timestamp":"2026-01-01T00:00:0)" + std::to_string(i % 10) +
         R"(.000+0000","flow_id":)" + flow + R"(,"event_type":"alert","src_ip":"10.0.0.)" +
         std::to_string(i) + R"(","zeta":1,"alpha":2})";
}

Json::Value parse(const std::string& text) { return harness::parseJson(text); }

class EventListsTest : public harness::IntegrationTest {
 protected:
  void expectEventsReply(const HttpReply& reply) { harness::expectEventsJson(reply); }
  void expectError(const HttpReply& reply, const std::string& body) {
    harness::expectEventsText(reply, 500, body);
  }
};

TEST_F(EventListsTest, PageUsesOffsetAndInclusiveLimit) {
  std::vector<std::string> events;
  for (int i = 0; i < 120; ++i) events.push_back(event(i, std::to_string(1000 + i)));
  TestRedis::rpush("alert", events);

  const HttpReply all = get("/events/alert");
  expectEventsReply(all);
  const Json::Value page = parse(all.body);
  ASSERT_EQ(page.size(), 101u);
  EXPECT_EQ(page[0]["flow_id"].asInt(), 1000);
  EXPECT_EQ(page[100]["flow_id"].asInt(), 1100);

  EXPECT_EQ(parse(get("/events/alert?offset=3&limit=4").body).size(), 2u);
  EXPECT_EQ(parse(get("/events/alert?offset=5&limit=2").body).size(), 0u);
  EXPECT_EQ(parse(get("/events/alert?offset=-2&limit=-1").body)[1]["flow_id"].asInt(), 1119);
}

// The front end could not tell how many pages a list has.
TEST_F(EventListsTest, PageCarriesTheListsLengthForTheFrontEnd) {
  std::vector<std::string> events;
  for (int i = 0; i < 120; ++i) events.push_back(event(i, std::to_string(1000 + i)));
  TestRedis::rpush("alert", events);
  for (const char* path :
       {"/events/alert", "/events/alert?offset=3&limit=4", "/events/alert?offset=500&limit=600"}) {
    SCOPED_TRACE(path);
    const HttpReply reply = get(path);
    EXPECT_EQ(reply.header("X-Total-Count").value_or(""), "120");
    EXPECT_EQ(reply.header("Access-Control-Expose-Headers").value_or(""), "X-Total-Count");
  }
  EXPECT_EQ(get("/events/nothing").header("X-Total-Count").value_or(""), "0");
}

TEST_F(EventListsTest, PageIsReserialisedWithSortedMembersAndTabs) {
  TestRedis::rpush("dns", {R"({"zeta":1,"alpha":"x"})"});
  const HttpReply reply = get("/events/dns?offset=0&limit=0");
  expectEventsReply(reply);
  EXPECT_EQ(reply.body, "[\n\t{\n\t\t\"alpha\" : \"x\",\n\t\t\"zeta\" : 1\n\t}\n]");
}

TEST_F(EventListsTest, MissingTypeGivesEmptyArrayAndZeroCount) {
  const HttpReply list = get("/events/nothing");
  expectEventsReply(list);
  EXPECT_EQ(list.body, "[]");
  const HttpReply count = get("/events/count/nothing");
  EXPECT_EQ(count.status, 200);
  EXPECT_EQ(count.body, "0");
  EXPECT_EQ(count.headerCount("Content-Type"), 0u);
  EXPECT_EQ(count.header("Access-Control-Allow-Origin").value_or(""), "*");
}

TEST_F(EventListsTest, CountAndLiteralSegmentWinOverNamedOne) {
  TestRedis::rpush("alert", {event(1, "5"), event(2, "6"), event(3, "7")});
  EXPECT_EQ(get("/events/count/alert").body, "3");
  // "/events/search/1" is the flow search, not event 1 of a list named "search".
  TestRedis::rpush("search", {event(9, "99")});
  const HttpReply search = get("/events/search/6");
  expectEventsReply(search);
  EXPECT_EQ(parse(search.body)["flow_id"].asInt(), 6);
}

TEST_F(EventListsTest, ErrorReplies) {
  TestRedis::rpush("alert", {event(1, "5")});
  TestRedis::command({"SET", "plain", "x"});
  const std::pair<std::string, std::string> cases[] = {
      {"/events/alert?limit=abc", "Events: Invalid Redis response"},
      {"/events/plain", "Events: Invalid Redis response"},
      {"/events/count/plain", "Events: Invalid Redis response"},
      {"/events/alert/abc", "stoll"},
      {"/events/alert/99999999999999999999", "stoll"},
      {"/events/alert/1", "Events: Event not found"},
      {"/events/nothing/0", "Events: Event not found"},
      {"/events/plain/0", "Events: Invalid Redis response"},
  };
  for (const auto& [path, body] : cases) {
    SCOPED_TRACE(path);
    expectError(get(path), body);
  }
}

TEST_F(EventListsTest, ById) {
  TestRedis::rpush("alert", {event(1, "5"), event(2, "6"), event(3, "7")});
  const HttpReply first = get("/events/alert/0");
  expectEventsReply(first);
  EXPECT_EQ(parse(first.body)["flow_id"].asInt(), 5);
  EXPECT_EQ(parse(get("/events/alert/-1").body)["flow_id"].asInt(), 7);
  EXPECT_EQ(parse(get("/events/alert/+1x").body)["flow_id"].asInt(), 6);
}

TEST_F(EventListsTest, FlowSearchScansEveryListAndSkipsBadElements) {
  TestRedis::rpush("stats", {R"({"stats":{"uptime":1}})"});
  TestRedis::rpush("flow", {"not json", "17", event(4, "1234567890123456789")});
  TestRedis::command({"SET", "plain", "x"});
  const HttpReply found = get("/events/search/1234567890123456789");
  expectEventsReply(found);
  EXPECT_EQ(parse(found.body)["src_ip"].asString(), "10.0.0.4");

  const HttpReply none = get("/events/search/42");
  expectEventsReply(none);
  EXPECT_EQ(none.body, "null");
}

// A Redis that refuses KEYS (renamed away on hardened servers, or denied by
// an access rule) made the flow search answer null, "no such flow".
TEST_F(EventListsTest, FlowSearchFailsWhenRedisRefusesToListTheKeys) {
  TestRedis::rpush("flow", {event(4, "42")});
  struct AccessRestorer {
    ~AccessRestorer() { TestRedis::command({"ACL", "SETUSER", "default", "+@all"}); }
  } restore;
  ASSERT_EQ(std::string(TestRedis::command({"ACL", "SETUSER", "default", "-keys"})->str), "OK");
  expectError(get("/events/search/42"), "Events: Redis command error while retrieving keys");
}

TEST_F(EventListsTest, BadElementFailsEveryPageThatHoldsIt) {
  TestRedis::rpush("alert", {event(1, "5"), "{broken", event(3, "7")});
  const HttpReply reply = get("/events/alert");
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(reply.body.rfind("Events: JSON parsing error: ", 0), 0u) << reply.body;
  EXPECT_EQ(get("/events/alert/1").body.rfind("Events: JSON parsing error: ", 0), 0u);
  // Pages without it, and the server itself, keep working.
  EXPECT_EQ(get("/events/alert?offset=2&limit=2").status, 200);
  EXPECT_EQ(get("/events/alert/0").status, 200);
}

// An element nested past the JSON reader's depth limit made the reader throw:
// routes that skip unreadable elements failed as a whole instead.
TEST_F(EventListsTest, DeeplyNestedElementIsSkippedLikeAnyUnreadableOne) {
  const std::string deep = std::string(5000, '[') + std::string(5000, ']');
  const std::string stamp = harness::localStamp(-60);
  TestRedis::rpush("alert", {deep, R"({"flow_id":77,"timestamp":")" + stamp +
                                       R"(","alert":{"signature_id":5}})"});

  EXPECT_EQ(parse(get("/events/search/77").body)["flow_id"].asInt(), 77);
  const Json::Value recent = parse(get("/events/check/alert").body);
  ASSERT_EQ(recent.size(), 1u);
  EXPECT_EQ(recent[0]["flow_id"].asInt(), 77);
  const Json::Value signatures = parse(get("/events/alertssignatures").body);
  ASSERT_EQ(signatures.size(), 1u);
  EXPECT_EQ(signatures[0]["total"].asInt(), 1);
  const HttpReply hours = get("/events/alertsbyhours");
  expectEventsReply(hours);
  EXPECT_EQ(parse(hours.body)[harness::localText(time(nullptr) - 60, "%Y-%m-%dT%H")], 1);
  // The plain page still fails, as for any element that is not JSON.
  const HttpReply page = get("/events/alert");
  EXPECT_EQ(page.status, 500);
  EXPECT_EQ(page.body.rfind("Events: JSON parsing error: ", 0), 0u) << page.body;
}

TEST_F(EventListsTest, DeleteRemovesTheListOnce) {
  TestRedis::rpush("dns", {event(1, "5")});
  const HttpReply deleted = http("DELETE", "/events/delete/dns");
  EXPECT_EQ(deleted.status, 200);
  EXPECT_EQ(deleted.body, "Events deleted successfuly");
  EXPECT_EQ(deleted.header("Content-Type").value_or(""), "text/html");
  EXPECT_EQ(deleted.header("Access-Control-Allow-Origin").value_or(""), "*");
  EXPECT_EQ(get("/events/count/dns").body, "0");
  expectError(http("DELETE", "/events/delete/dns"), "Events: Key not found or not deleted");
}

}  // namespace
