// The live event stream: the poller's reads against the tests' own Redis, and
// the route over HTTP (its head, its refusals, events as the daemon pushes
// them, reconnects, the bound on streams and on a client that stops reading).
#include <string>
#include <thread>
#include <vector>

#include "common/RedisWrapper.h"
#include "events/RedisStreamSource.h"
#include "support/EventReplies.h"
#include "support/EventStreamClient.h"

namespace {

using harness::EventStreamClient;
using harness::TestRedis;
using namespace std::chrono_literals;

// As the companion daemon adds events: each onto the head of its list.
void push(const std::string& key, const std::vector<std::string>& events) {
  for (const std::string& event : events) TestRedis::command({"LPUSH", key, event});
}

std::string message(int id, const std::string& event) {
  return "id: " + std::to_string(id) + "\ndata: " + event + "\n\n";
}

// ---- The poller's reads ------------------------------------------------------

class RedisStreamSourceTest : public harness::IntegrationTest {
 protected:
  events::RedisStreamSource source_;
};

TEST_F(RedisStreamSourceTest, NumbersEventsFromTheTailSoThatPushesShiftNothing) {
  push("alert", {"e1", "e2", "e3"});
  EXPECT_EQ(source_.length("alert"), 3);
  EXPECT_EQ(source_.events("alert", 2, 3), (std::vector<std::string>{"e2", "e3"}));
  push("alert", {"e4"});
  EXPECT_EQ(source_.events("alert", 2, 3), (std::vector<std::string>{"e2", "e3"}));
  EXPECT_EQ(source_.events("alert", 1, 4), (std::vector<std::string>{"e1", "e2", "e3", "e4"}));
  // Past the end of the list: only what it holds.
  EXPECT_EQ(source_.events("alert", 3, 6), (std::vector<std::string>{"e3", "e4"}));
}

TEST_F(RedisStreamSourceTest, MissingListIsEmptyAndAKeyOfAnotherTypeHasNoLength) {
  EXPECT_EQ(source_.length("none"), 0);
  TestRedis::command({"SET", "plain", "x"});
  EXPECT_EQ(source_.length("plain"), std::nullopt);
  EXPECT_TRUE(source_.events("plain", 1, 2).empty());
}

TEST_F(RedisStreamSourceTest, LockKeyWithAnyValueCountsAsHeld) {
  EXPECT_FALSE(source_.locked());
  TestRedis::command({"SET", "lock:ferryd", ""});
  EXPECT_TRUE(source_.locked());
  TestRedis::command({"DEL", "lock:ferryd"});
  EXPECT_FALSE(source_.locked());
}

TEST_F(RedisStreamSourceTest, ReadsFailWhileRedisIsDownAndWorkAgainAfter) {
  push("alert", {"e1"});
  EXPECT_EQ(source_.length("alert"), 1);
  {
    harness::RedisRestarter restarter;
    TestRedis::stop();
    EXPECT_THROW(source_.locked(), std::runtime_error);
    EXPECT_THROW(source_.length("alert"), std::runtime_error);
  }
  EXPECT_FALSE(source_.locked());
  EXPECT_EQ(source_.length("alert"), 0);  // the restarted Redis is empty
}

// ---- The route -----------------------------------------------------------------

class EventStreamTest : public harness::IntegrationTest {
 protected:
  // The streams of the tests before have closed their connections; the
  // server sees a quiet stream's client gone within a second.
  static void letEarlierStreamsEnd() { std::this_thread::sleep_for(1500ms); }
};

TEST_F(EventStreamTest, AnswersAnEventStreamWithTheEventsCrossOriginHeader) {
  EventStreamClient client("/events/stream/alert");
  ASSERT_EQ(client.status(), 200);
  EXPECT_EQ(client.header("Content-Type").value_or(""), "text/event-stream");
  EXPECT_EQ(client.header("Cache-Control").value_or(""), "no-cache");
  EXPECT_EQ(client.header("Access-Control-Allow-Origin").value_or(""), "*");
  EXPECT_FALSE(client.header("Access-Control-Allow-Methods").has_value());
}

TEST_F(EventStreamTest, KeyOfAnotherTypeIsRefusedAsTheCountRouteRefusesIt) {
  TestRedis::command({"SET", "plain", "x"});
  harness::expectEventsText(harness::get("/events/stream/plain"), 500,
                            "Events: Invalid Redis response");
}

// The tests below need an endpoint that sends a reply's body stream as it
// comes (http::BodyStream).
TEST_F(EventStreamTest, StreamSeesThreeEventsPushedAfterItOpenedInOrder) {
  push("alert", {R"({"flow_id":1})"});
  EventStreamClient client("/events/stream/alert");
  ASSERT_EQ(client.status(), 200);
  const std::vector<std::string> events = {R"({"flow_id":2})", R"({"flow_id":3,"x":"a b"})",
                                           R"({"flow_id":4})"};
  std::string expected;
  for (size_t i = 0; i < events.size(); ++i) {
    push("alert", {events[i]});
    expected += message(static_cast<int>(i) + 2, events[i]);
    EXPECT_TRUE(client.readUntil([&](const std::string& body) { return body == expected; }, 1500ms))
        << client.body();
  }
}

TEST_F(EventStreamTest, ReconnectWithLastEventIdGetsTheEventsItMissed) {
  push("alert", {"{\"n\":1}", "{\"n\":2}", "{\"n\":3}", "{\"n\":4}", "{\"n\":5}"});
  EventStreamClient missed("/events/stream/alert", {"Last-Event-ID: 3"});
  ASSERT_EQ(missed.status(), 200);
  const std::string expected = message(4, "{\"n\":4}") + message(5, "{\"n\":5}");
  EXPECT_TRUE(missed.readUntil([&](const std::string& body) { return body == expected; }))
      << missed.body();

  EventStreamClient ahead("/events/stream/alert", {"Last-Event-ID: 9"});
  ASSERT_EQ(ahead.status(), 200);
  const std::string reset = "event: reset\nid: 5\ndata: {\"length\":5}\n\n";
  EXPECT_TRUE(ahead.readUntil([&](const std::string& body) { return body == reset; }))
      << ahead.body();
  push("alert", {"{\"n\":6}"});
  EXPECT_TRUE(ahead.readUntilHolds(message(6, "{\"n\":6}"))) << ahead.body();
}

TEST_F(EventStreamTest, SixtyFourStreamsPlusOneGet503) {
  letEarlierStreamsEnd();
  std::vector<std::unique_ptr<EventStreamClient>> streams;
  for (int i = 0; i < 64; ++i) {
    streams.push_back(std::make_unique<EventStreamClient>("/events/stream/alert"));
    ASSERT_EQ(streams.back()->status(), 200) << i;
  }
  const auto refused = harness::get("/events/stream/dns");
  EXPECT_EQ(refused.status, 503);
  EXPECT_EQ(refused.body, "Too many live event streams are open (64); try again shortly");
  EXPECT_EQ(refused.header("Retry-After").value_or(""), "5");
  EXPECT_EQ(refused.header("Access-Control-Allow-Origin").value_or(""), "*");
  EXPECT_EQ(harness::get("/health").status, 200);
  push("alert", {"{}"});
  for (const auto& stream : streams) EXPECT_TRUE(stream->readUntilHolds(message(1, "{}")));
}

TEST_F(EventStreamTest, ClientThatStopsReadingIsDroppedWithoutHoldingAnythingElse) {
  letEarlierStreamsEnd();
  EventStreamClient stuck("/events/stream/alert", {}, 4096);
  ASSERT_EQ(stuck.status(), 200);
  EventStreamClient reader("/events/stream/alert");
  ASSERT_EQ(reader.status(), 200);
  // 8 MiB: past the stuck client's socket buffers and its stream's bound.
  const std::string event = "{\"pad\":\"" + std::string(64 * 1024, 'x') + "\"}";
  for (int batch = 0; batch < 8; ++batch) {
    push("alert", std::vector<std::string>(16, event));
    const std::string last = "id: " + std::to_string(16 * (batch + 1)) + "\n";
    EXPECT_TRUE(reader.readUntilHolds(last, 3000ms)) << batch;
    EXPECT_EQ(harness::get("/health").status, 200);
  }
  EXPECT_EQ(reader.body().find("event: reset"), std::string::npos);
  // The stuck client's place is free: with the reader, 64 streams open.
  std::vector<std::unique_ptr<EventStreamClient>> others;
  for (int i = 0; i < 63; ++i) {
    others.push_back(std::make_unique<EventStreamClient>("/events/stream/dns"));
    EXPECT_EQ(others.back()->status(), 200) << i;
  }
}

}  // namespace
