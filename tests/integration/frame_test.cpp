// The service frame: preflight routes, unmatched routes, the companion
// daemon's lock, and replies with Redis stopped.
#include <json/value.h>

#include <future>

#include "common/JsonText.h"
#include "support/Harness.h"

namespace {

using harness::get;
using harness::http;
using harness::HttpReply;
using harness::TestRedis;

class FrameTest : public harness::IntegrationTest {};

TEST_F(FrameTest, EveryPreflightRouteAnswersWithTheRulesHeaders) {
  const char* paths[] = {"/events/delete/alert",      "/rules/toggle",           "/rules/add/",
                         "/rules/validate/",          "/rules/delete/",          "/rules/update/",
                         "/rules/additional/update/", "/validate_rule_endpoint", "/ioc/toggle/",
                         "/ioc/rules/modify/"};
  for (const char* path : paths) {
    SCOPED_TRACE(path);
    const HttpReply reply = http("OPTIONS", path);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "");
    EXPECT_EQ(reply.headerCount("Content-Type"), 0u);
    harness::expectRulesCorsHeaders(reply);
  }
}

// The library's default limit of 4 KiB per request, headers included, refused
// a browser's update of a rule of a few kilobytes (413, without our headers).
TEST_F(FrameTest, RequestOfSeveralKilobytesReachesItsHandler) {
  Json::Value body;
  body["content"] =
      "alert tcp any any -> any any (msg:\"" + std::string(20000, 'x') + "\"; sid:1; rev:1;)";
  const HttpReply reply = http("POST", "/rules/validate/", json_text::write(body));
  EXPECT_EQ(reply.status, 200) << reply.body;
  harness::expectRulesCorsHeaders(reply);
}

// A path with a long run of slashes overflowed the stack in the router's
// slash collapsing, one recursion per slash, and ended the process.
TEST_F(FrameTest, HostileTargetIsRefusedAndTheServerKeepsServing) {
  const std::string tooLong = "Request target longer than 8192 bytes";
  const std::string slashRun = "Request path holds more than 8 slashes in a row";
  const std::string query = "/events/alert?offset=0&pad=";
  struct Case {
    std::string target;
    long status;
    std::string body;  // checked when the request is refused
  };
  const Case cases[] = {
      {"/events" + std::string(15000, '/') + "alert", 414, tooLong},
      {"/events" + std::string(8000, '/') + "alert", 400, slashRun},
      {"/events" + std::string(9, '/') + "alert", 400, slashRun},
      {"/rules/toggle" + std::string(9, '/'), 400, slashRun},
      {query + std::string(8193 - query.size(), 'x'), 414, tooLong},
      // Near misses: passed on to the router.
      {"/events" + std::string(8, '/') + "alert", 200, ""},
      {query + std::string(8192 - query.size(), 'x'), 200, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target.substr(0, 40) + "... (" + std::to_string(c.target.size()) + " bytes)");
    const HttpReply reply = get(c.target);
    EXPECT_EQ(reply.status, c.status) << reply.body;
    if (c.status == 200) continue;
    EXPECT_EQ(reply.body, c.body);
    EXPECT_EQ(reply.header("Content-Type").value_or(""), "text/plain");
    EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
    ASSERT_TRUE(harness::TestServer::running()) << "the request ended the server";
  }
  EXPECT_EQ(get("/events/count/alert").status, 200);
  EXPECT_TRUE(harness::TestServer::running());
}

TEST_F(FrameTest, UnmatchedMethodOrPathGetsTheRoutersReplyWithoutHeaders) {
  struct Case {
    const char* method;
    const char* path;
    long status;
  };
  for (const Case& c :
       {Case{"PUT", "/events/alert", 405}, Case{"OPTIONS", "/events/count/alert", 405},
        Case{"GET", "/nowhere", 404}, Case{"GET", "/Events/alert", 404}}) {
    SCOPED_TRACE(std::string(c.method) + " " + c.path);
    const HttpReply reply = http(c.method, c.path);
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(reply.headerCount("Access-Control-Allow-Origin"), 0u);
  }
}

TEST_F(FrameTest, EventRequestWaitsForTheDaemonsLock) {
  TestRedis::rpush("alert", {R"({"flow_id":1})"});
  for (const std::string value : {"1", ""}) {
    SCOPED_TRACE("lock value '" + value + "'");
    TestRedis::command({"SET", "lock:ferryd", value});
    auto pending = std::async(std::launch::async, [] { return get("/events/count/alert"); });
    ASSERT_EQ(pending.wait_for(std::chrono::milliseconds(400)), std::future_status::timeout)
        << "the request did not wait for the lock";
    const auto released = std::chrono::steady_clock::now();
    TestRedis::command({"DEL", "lock:ferryd"});
    ASSERT_EQ(pending.wait_for(std::chrono::milliseconds(2000)), std::future_status::ready);
    const auto waited = std::chrono::steady_clock::now() - released;
    EXPECT_LT(waited, std::chrono::milliseconds(300));
    const HttpReply reply = pending.get();
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "1");
  }
  // Waiting never creates or removes the key.
  EXPECT_EQ(TestRedis::command({"EXISTS", "lock:ferryd"})->integer, 0);
  TestRedis::command({"SET", "lock:ferryd", "held"});
  auto pending = std::async(std::launch::async, [] { return get("/events/alert"); });
  ASSERT_EQ(pending.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  EXPECT_EQ(std::string(TestRedis::command({"GET", "lock:ferryd"})->str), "held");
  TestRedis::command({"DEL", "lock:ferryd"});
  EXPECT_EQ(pending.get().status, 200);
}

// A Redis that accepts connections but stops answering used to hold the
// worker thread forever: the connection had no time-out.
TEST_F(FrameTest, RedisThatStopsAnsweringFailsTheRequestInsteadOfHanging) {
  struct Resume {
    ~Resume() { TestRedis::resume(); }
  } resume;
  TestRedis::pause();
  const auto started = std::chrono::steady_clock::now();
  const HttpReply reply = http("GET", "/events/count/alert", "", std::chrono::seconds(30));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(reply.body.rfind("Redis connection error: ", 0), 0u) << reply.body;
  EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
}

TEST_F(FrameTest, RedisStoppedFailsAtOnceWithTheConnectionError) {
  harness::RedisRestarter restart;
  TestRedis::stop();
  const char* paths[] = {"/events/alert", "/events/count/alert", "/events/alert/0",
                         "/events/search/1"};
  for (const char* path : paths) {
    SCOPED_TRACE(path);
    const auto started = std::chrono::steady_clock::now();
    const HttpReply reply = get(path);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(reply.body, "Redis connection error: Connection refused");
    EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
  }
  EXPECT_EQ(http("DELETE", "/events/delete/alert").body,
            "Redis connection error: Connection refused");
}

// Threads keep their Redis connection from one request to the next. One that
// Redis has closed meanwhile (killed, or Redis restarted) is replaced without
// the request noticing.
TEST_F(FrameTest, KeptRedisConnectionsThatRedisClosedAreReplaced) {
  const auto countIsOne = [] {
    for (int i = 0; i < 6; ++i) {
      const HttpReply reply = get("/events/count/alert");
      EXPECT_EQ(reply.status, 200);
      EXPECT_EQ(reply.body, "1");
    }
  };
  TestRedis::rpush("alert", {"{}"});
  countIsOne();
  const RedisReplyPtr killed = TestRedis::command({"CLIENT", "KILL", "TYPE", "normal"});
  ASSERT_TRUE(killed && killed->type == REDIS_REPLY_INTEGER && killed->integer > 0);
  countIsOne();
  {
    harness::RedisRestarter restart;
    TestRedis::stop();
  }
  TestRedis::rpush("alert", {"{}"});
  countIsOne();
}

TEST_F(FrameTest, RedisLostDuringTheLockWaitFailsInsteadOfHanging) {
  harness::RedisRestarter restart;
  TestRedis::command({"SET", "lock:ferryd", "1"});
  auto pending = std::async(std::launch::async, [] { return get("/events/count/alert"); });
  ASSERT_EQ(pending.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  TestRedis::stop();
  ASSERT_EQ(pending.wait_for(std::chrono::milliseconds(3000)), std::future_status::ready)
      << "the request hung after Redis went away";
  const HttpReply reply = pending.get();
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(reply.body.rfind("Redis connection error: ", 0), 0u) << reply.body;
}

}  // namespace
