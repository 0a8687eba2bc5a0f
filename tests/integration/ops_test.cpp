// The operational routes and systemd integration: /health with Redis up and
// down, /metrics counting requests under their route patterns, and the
// watchdog's keep-alives, which stop while the HTTP threads are wedged.
#include <gtest/gtest.h>
#include <json/json.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "support/EventReplies.h"
#include "support/Harness.h"

namespace {

using harness::HttpReply;
using harness::TestRedis;
using harness::TestServer;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

class OpsTest : public harness::IntegrationTest {};

void expectStatsHeaders(const HttpReply& reply) {
  EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
  EXPECT_EQ(reply.header("Access-Control-Allow-Methods").value_or(""), "GET, POST, OPTIONS");
}

TEST_F(OpsTest, HealthNamesWhatFails) {
  HttpReply reply = harness::get("/health");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.header("Content-Type").value_or(""), "application/json");
  expectStatsHeaders(reply);
  Json::Value health = harness::parseJson(reply.body);
  EXPECT_EQ(health["status"], "ok");
  EXPECT_EQ(health["redis"], "ok");
  EXPECT_EQ(health["configuration"], "ok");
  {
    harness::RedisRestarter restart;
    TestRedis::stop();
    // Redis is watched from a thread of its own: its state shows within a PING period.
    ASSERT_TRUE(harness::waitFor(
        [&] {
          reply = harness::get("/health");
          return reply.status == 503;
        },
        std::chrono::milliseconds(2000)));
    expectStatsHeaders(reply);
    health = harness::parseJson(reply.body);
    EXPECT_EQ(health["status"], "unavailable");
    EXPECT_EQ(health["redis"], "Redis connection error: Connection refused");
    EXPECT_EQ(health["configuration"], "ok");
  }
  harness::TestConfig::erase();
  ASSERT_TRUE(harness::waitFor(
      [] { return harness::parseJson(harness::get("/health").body)["redis"] == "ok"; },
      std::chrono::milliseconds(2000)));
  reply = harness::get("/health");
  EXPECT_EQ(reply.status, 503);
  health = harness::parseJson(reply.body);
  EXPECT_EQ(health["redis"], "ok");
  EXPECT_NE(health["configuration"].asString().find("Cannot read"), std::string::npos)
      << reply.body;
}

using harness::metricSample;

TEST_F(OpsTest, MetricsCountRequestsUnderTheirRoutePatterns) {
  TestRedis::rpush("alert", {R"({"flow_id":1})"});
  const std::string before = harness::get("/metrics").body;
  const std::string countSeries =
      R"(pavora_http_requests_total{method="GET",route="/events/count/:event_type",status="200"})";
  const double counted = std::max(0.0, metricSample(before, countSeries));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(harness::get("/events/count/alert").status, 200);
  EXPECT_EQ(harness::get("/events/count/alert/x/y").status, 404);

  const HttpReply reply = harness::get("/metrics");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.header("Content-Type").value_or(""), "text/plain; version=0.0.4");
  expectStatsHeaders(reply);
  EXPECT_EQ(metricSample(reply.body, countSeries), counted + 3) << reply.body;
  EXPECT_GE(metricSample(
                reply.body,
                R"(pavora_http_request_duration_seconds_count{route="/events/count/:event_type"})"),
            3);
  EXPECT_GT(metricSample(reply.body, "process_resident_memory_bytes"), 1e6);
  EXPECT_NE(reply.body.find("pavora_http_requests_in_flight"), std::string::npos);
  EXPECT_GE(metricSample(reply.body, R"(pavora_cache_rebuilds{cache="rules"})"), 0);
  EXPECT_GE(metricSample(reply.body, R"(pavora_cache_hits{cache="indicators"})"), 0);
  // Raw paths never become label values.
  EXPECT_EQ(reply.body.find("/events/count/alert"), std::string::npos);
}

// A datagram socket in the role of systemd's notification socket.
class NotifySocket {
 public:
  explicit NotifySocket(std::string path) : path_(std::move(path)) {
    unlink(path_.c_str());
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path_.copy(address.sun_path, sizeof address.sun_path - 1);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const timeval wait{0, 100000};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  }
  ~NotifySocket() {
    close(fd_);
    unlink(path_.c_str());
  }
  // The messages that arrive within `window`.
  std::vector<std::string> messages(milliseconds window) {
    std::vector<std::string> received;
    const auto end = steady_clock::now() + window;
    char buffer[512];
    while (steady_clock::now() < end) {
      const ssize_t got = recv(fd_, buffer, sizeof buffer, 0);
      if (got > 0) received.emplace_back(buffer, static_cast<size_t>(got));
    }
    return received;
  }

 private:
  std::string path_;
  int fd_ = -1;
};

size_t count(const std::vector<std::string>& messages, const std::string& text) {
  size_t n = 0;
  for (const std::string& message : messages) n += message.find(text) != std::string::npos;
  return n;
}

TEST_F(OpsTest, WatchdogKeepAlivesGoOnWhileRedisIsFrozen) {
  NotifySocket notify(harness::workDir() + "/notify.sock");
  struct Restart {
    ~Restart() {
      TestRedis::resume();
      TestServer::restart();
    }
  } restart;
  TestServer::stop();
  TestServer::startUnder(
      {"env", "NOTIFY_SOCKET=" + harness::workDir() + "/notify.sock", "WATCHDOG_USEC=400000"});
  const std::vector<std::string> serving = notify.messages(milliseconds(1500));
  EXPECT_EQ(count(serving, "READY=1"), 1u);
  EXPECT_GE(count(serving, "WATCHDOG=1"), 4u);

  // Requests that wait on a frozen Redis wait on the Redis pool; the HTTP
  // threads, and the watchdog's request through them, go on.
  TestRedis::pause();
  std::vector<std::future<HttpReply>> stuck;
  for (int i = 0; i < 4; ++i) {
    stuck.push_back(
        std::async(std::launch::async, [] { return harness::get("/events/count/alert"); }));
  }
  EXPECT_GE(count(notify.messages(milliseconds(1500)), "WATCHDOG=1"), 2u)
      << "keep-alives stopped while Redis was frozen";
  TestRedis::resume();
  for (auto& pending : stuck) pending.wait();
}

}  // namespace
