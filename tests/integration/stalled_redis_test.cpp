// A Redis that stops answering (paused with SIGSTOP: it still accepts
// connections): every wait on it ends at the Redis time-out once, and the
// routes that do not use it, /health included, go on answering.
#include <json/value.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/BuildSettings.h"
#include "common/RedisWrapper.h"
#include "support/EventReplies.h"
#include "support/Harness.h"

namespace {

using harness::HttpReply;
using harness::TestRedis;
using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

constexpr auto kRedisLimit = seconds(build_settings::kRedisTimeoutSeconds);
// Slack beside the Redis time-out for the request's own work, under the
// sanitizer build on a loaded machine; well below a second time-out.
constexpr auto kSlack = milliseconds(1500);
constexpr char kNoAnswer[] = "Redis did not answer PING within 1 s";

// Pauses the tests' Redis for the scope: it goes on again when the scope
// ends, pass or fail, and the server's view of it is sound again before the
// next test.
class PausedRedis {
 public:
  PausedRedis() { TestRedis::pause(); }
  ~PausedRedis() {
    TestRedis::resume();
    harness::waitFor([] { return harness::get("/health").status == 200; }, seconds(5));
  }
};

// How long `call` took.
template <typename Call>
steady_clock::duration timed(Call&& call) {
  const auto started = steady_clock::now();
  call();
  return steady_clock::now() - started;
}

class StalledRedisTest : public harness::IntegrationTest {};

// A kept connection's lock check that timed out was retried on a new
// connection for a second full time-out: 500 after twice the limit.
TEST_F(StalledRedisTest, KeptConnectionThatTimesOutIsNotRetried) {
  const RedisWrapper redis;
  const auto ping = [&] {
    return redis.executeWithLock([](redisContext* context) {
      return static_cast<redisReply*>(redisCommand(context, "PING"));
    });
  };
  ASSERT_TRUE(ping()) << "no connection to keep";
  PausedRedis paused;
  const auto took = timed([&] { EXPECT_THROW(ping(), std::runtime_error); });
  EXPECT_GE(took, kRedisLimit - milliseconds(100));
  EXPECT_LT(took, kRedisLimit + kSlack) << "the command was sent again after its time-out";
}

// The frame's lock probe and the body's own lock check each waited a full
// time-out on a paused Redis.
TEST_F(StalledRedisTest, ProbeThatTimedOutEndsTheBodyAtOnce) {
  PausedRedis paused;
  const RedisWrapper redis;
  const auto took = timed([&] {
    const redis_lock::Probe probe;
    EXPECT_FALSE(probe.held());
    EXPECT_THROW(redis.executeWithLock([](redisContext* context) {
      return static_cast<redisReply*>(redisCommand(context, "PING"));
    }),
                 std::runtime_error);
  });
  EXPECT_LT(took, kRedisLimit + kSlack) << "the body waited on Redis again after the probe";
}

TEST_F(StalledRedisTest, EventCountAnswers500AtTheLimitOnce) {
  TestRedis::rpush("alert", {"{}"});
  // Both HTTP threads keep a connection from these.
  for (int i = 0; i < 4; ++i) ASSERT_EQ(harness::get("/events/count/alert").body, "1");
  PausedRedis paused;
  for (int i = 0; i < 2; ++i) {
    HttpReply reply;
    const auto took =
        timed([&] { reply = harness::http("GET", "/events/count/alert", "", seconds(30)); });
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(reply.body.rfind("Redis connection error: ", 0), 0u) << reply.body;
    EXPECT_GE(took, kRedisLimit - milliseconds(100));
    EXPECT_LT(took, kRedisLimit + kSlack)
        << "answered after " << std::chrono::duration<double>(took).count() << " s";
  }
}

TEST_F(StalledRedisTest, RoutesWithoutRedisAnswerWhileItIsPaused) {
  PausedRedis paused;
  // A dashboard's requests that wait on Redis, as they arrive while it is paused.
  std::vector<std::future<HttpReply>> waiting;
  for (const char* path :
       {"/events/count/alert", "/events/alert", "/events/count/dns", "/events/alertsmap"}) {
    waiting.push_back(std::async(std::launch::async, [path] { return harness::get(path); }));
  }
  waiting.front().wait_for(seconds(1));
  struct Timed {
    long status;
    double seconds;
  };
  std::vector<std::future<Timed>> answers;
  const std::vector<std::string> paths = {"/rules", "/health", "/metrics", "/ioc/"};
  for (const std::string& path : paths) {
    answers.push_back(std::async(std::launch::async, [path] {
      const auto started = steady_clock::now();
      const HttpReply reply = harness::http("GET", path, "", seconds(30));
      return Timed{reply.status,
                   std::chrono::duration<double>(steady_clock::now() - started).count()};
    }));
  }
  for (size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(paths[i]);
    const Timed answer = answers[i].get();
    EXPECT_NE(answer.status, 0) << "no answer";
    EXPECT_LT(answer.seconds, 2.0);
  }
  for (auto& pending : waiting) pending.wait();
}

// /health sent PING itself and waited up to 2 s on a paused Redis, on an
// HTTP thread.
TEST_F(StalledRedisTest, HealthAnswersAtOnceAndNamesTheStall) {
  PausedRedis paused;
  Json::Value health;
  long status = 0;
  const auto reported = [&] {
    HttpReply reply;
    const auto took = timed([&] { reply = harness::http("GET", "/health", "", seconds(10)); });
    EXPECT_LT(took, milliseconds(1000)) << "/health waited on Redis";
    status = reply.status;
    health = harness::parseJson(reply.body);
    return health["redis"] == kNoAnswer;
  };
  ASSERT_TRUE(harness::waitFor(reported, seconds(3))) << health.toStyledString();
  EXPECT_EQ(status, 503);
  EXPECT_EQ(health["status"], "unavailable");
  EXPECT_EQ(health["configuration"], "ok");
  TestRedis::resume();
  EXPECT_TRUE(harness::waitFor([] { return harness::get("/health").status == 200; }, seconds(2)))
      << "/health did not see Redis answer again";
}

}  // namespace
