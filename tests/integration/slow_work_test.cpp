// Slow work (outside commands, feed downloads, the companion daemon's lock)
// runs off the HTTP threads: the cheap routes keep answering beside it, every
// wait has a limit, a full queue is refused at once, and a stop is clean.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "common/BuildSettings.h"
#include "support/FeedServer.h"
#include "support/RulesFixture.h"

namespace {

using harness::FeedServer;
using harness::HttpReply;
using harness::StandIns;
using harness::TestRedis;
using harness::TestServer;
using harness::waitFor;
using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

constexpr char kRule[] =
    R"(alert tcp any any -> any 4444 (msg:"Outbound 4444"; sid:9000001; rev:1;))";

// A body whose "content" is kRule.
std::string validationBody() {
  return R"j({"content":"alert tcp any any -> any 4444 (msg:\"Outbound 4444\"; sid:9000001; rev:1;)"})j";
}

// A request sent now and answered later; its reply is read with get().
std::future<HttpReply> later(const std::string& method, const std::string& path,
                             const std::string& body = "") {
  return std::async(std::launch::async,
                    [=] { return harness::http(method, path, body, seconds(40)); });
}

size_t callsStartingWith(const std::string& prefix) {
  size_t count = 0;
  for (const std::string& call : StandIns::calls()) count += call.rfind(prefix, 0) == 0;
  return count;
}

// The reply of `path` and how long it took.
std::pair<HttpReply, steady_clock::duration> timed(const std::string& path) {
  const auto started = steady_clock::now();
  HttpReply reply = harness::get(path);
  return {reply, steady_clock::now() - started};
}

// How long stand-ins may take to start on a busy machine: well inside the
// test build's command limits, so that what started is still running.
constexpr milliseconds kStartLimit{6000};

bool processGone(int pid) {
  if (kill(pid, 0) != 0) return true;
  const std::string stat = harness::readFile("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  return close != std::string::npos && stat.size() > close + 2 && stat[close + 2] == 'Z';
}

// Targets of the descriptors of process `pid` ("socket:[...]", "/dev/null"...).
std::vector<std::string> descriptorTargets(int pid) {
  std::vector<std::string> targets;
  const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return targets;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    char target[256] = {};
    const ssize_t length =
        readlink((folder + "/" + entry->d_name).c_str(), target, sizeof target - 1);
    if (length > 0) targets.emplace_back(target, static_cast<size_t>(length));
  }
  closedir(dir);
  return targets;
}

class SlowWorkTest : public harness::RulesTest {
 protected:
  void SetUp() override {
    // Work that earlier tests left running would hold threads of the pools.
    endSlowWork();
    RulesTest::SetUp();
    harness::writeFile(rulesFile(), std::string(kRule) + "\n");
  }
  void TearDown() override {
    TestRedis::command({"DEL", "lock:ferryd"});
    RulesTest::TearDown();
  }
  // Work left in flight on purpose ends with the server, before the test's
  // pending replies are waited for.
  static void endSlowWork() { TestServer::restart(); }
};

TEST_F(SlowWorkTest, CheapRoutesAnswerWhileSlowWorkIsInFlight) {
  FeedServer feed;
  config_.setString("ioc_full_link", FeedServer::url("/hang")).write();
  StandIns::setDelay("suricata", 20);
  StandIns::setDelay("sudo", 20);
  TestRedis::rpush("alert", {R"({"flow_id":1})"});
  std::vector<std::future<HttpReply>> slow;
  for (int i = 0; i < 4; ++i) slow.push_back(later("POST", "/rules/validate/", validationBody()));
  slow.push_back(later("GET", "/suricata/update/"));
  slow.push_back(later("GET", "/ioc/download/"));  // one download at a time
  ASSERT_TRUE(waitFor(
      [&] {
        return StandIns::pids("suricata").size() == 1 && callsStartingWith("sudo") == 1 &&
               feed.requests() == 1;
      },
      kStartLimit))
      << "the slow requests did not all start: " << StandIns::pids("suricata").size()
      << " test runs, " << callsStartingWith("sudo") << " updates, " << feed.requests()
      << " downloads";

  for (const char* path :
       {"/events/count/alert", "/rules?page=1&page_size=5", "/stats/histogramm/"}) {
    SCOPED_TRACE(path);
    const auto [reply, took] = timed(path);
    EXPECT_EQ(reply.status, 200);
    EXPECT_LT(took, milliseconds(1000));
  }
  EXPECT_EQ(timed("/events/count/alert").first.body, "1");
  endSlowWork();
}

TEST_F(SlowWorkTest, HeldLockHoldsOnlyTheEventRoutesAndEndsIn503) {
  TestRedis::command({"SET", "lock:ferryd", "1"});
  std::vector<std::future<HttpReply>> events;
  for (int i = 0; i < 3; ++i) events.push_back(later("GET", "/events/alert"));
  const auto started = steady_clock::now();
  for (const char* path : {"/rules?page=1&page_size=5", "/stats/"}) {
    SCOPED_TRACE(path);
    const auto [reply, took] = timed(path);
    EXPECT_NE(reply.status, 503);
    EXPECT_LT(took, milliseconds(1000));
  }
  for (auto& pending : events) {
    const HttpReply reply = pending.get();
    EXPECT_EQ(reply.status, 503);
    EXPECT_NE(reply.body.find("lock:ferryd"), std::string::npos) << reply.body;
    EXPECT_EQ(reply.header("Retry-After").value_or(""),
              std::to_string(build_settings::kLockWaitSeconds));
    EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
  }
  const auto waited = steady_clock::now() - started;
  EXPECT_GE(waited, seconds(build_settings::kLockWaitSeconds));
  EXPECT_LT(waited, seconds(build_settings::kLockWaitSeconds + 3));
}

TEST_F(SlowWorkTest, FullQueueIsRefusedAtOnceAndRunsNothing) {
  StandIns::setDelay("sudo", 20);
  std::vector<std::future<HttpReply>> slow;
  const int capacity = build_settings::kSlowThreads + build_settings::kSlowQueue;
  for (int i = 0; i < build_settings::kSlowThreads; ++i)
    slow.push_back(later("GET", "/suricata/update/"));
  ASSERT_TRUE(waitFor(
      [&] {
        return StandIns::pids("sudo").size() == static_cast<size_t>(build_settings::kSlowThreads);
      },
      kStartLimit))
      << StandIns::pids("sudo").size() << " updates running";
  for (int i = build_settings::kSlowThreads; i < capacity; ++i)
    slow.push_back(later("GET", "/suricata/update/"));
  // Harmless probes (the process probe is slow work too) fill what is left
  // of the queue; the first refused one shows it full.
  ASSERT_TRUE(waitFor(
      [] {
        return harness::http("GET", "/suricata/running/", "", milliseconds(300)).status == 503;
      },
      kStartLimit))
      << "the queue never filled";
  const auto [refused, took] = timed("/daemon/stop/");
  EXPECT_EQ(refused.status, 503);
  EXPECT_LT(took, milliseconds(500));
  EXPECT_FALSE(refused.header("Retry-After").value_or("").empty());
  EXPECT_NE(refused.body.find("busy"), std::string::npos) << refused.body;
  EXPECT_EQ(refused.headerCount("Content-Type"), 0u);
  harness::expectRulesCorsHeaders(refused);
  EXPECT_EQ(callsStartingWith("systemctl stop ferryd"), 0u);
  EXPECT_EQ(callsStartingWith("sudo"), static_cast<size_t>(build_settings::kSlowThreads));
  endSlowWork();
}

TEST_F(SlowWorkTest, CommandPastItsLimitIsKilledAndReported) {
  StandIns::setDelay("systemctl", 30);
  auto pending = later("GET", "/suricata/stop/");
  ASSERT_TRUE(waitFor([] { return StandIns::pids("systemctl").size() == 1; }, kStartLimit));
  const int pid = StandIns::pids("systemctl").front();
  // The command holds no socket of the server: not the listening one, not a client's.
  for (const std::string& target : descriptorTargets(pid)) {
    EXPECT_EQ(target.rfind("socket:", 0), std::string::npos) << "fd -> " << target;
  }
  const HttpReply reply = pending.get();
  EXPECT_EQ(reply.status, 500);
  EXPECT_NE(reply.body.find("systemctl stop suricata"), std::string::npos) << reply.body;
  EXPECT_NE(
      reply.body.find("limit of " + std::to_string(build_settings::kSystemctlLimitSeconds) + " s"),
      std::string::npos)
      << reply.body;
  harness::expectRulesCorsHeaders(reply);
  EXPECT_TRUE(waitFor([pid] { return processGone(pid); }, milliseconds(2000)))
      << "stand-in " << pid << " outlived its limit";
}

TEST_F(SlowWorkTest, StopDuringASlowValidationExitsCleanly) {
  StandIns::setDelay("suricata", 30);
  auto pending = later("POST", "/rules/add/", validationBody());
  ASSERT_TRUE(waitFor([] { return StandIns::pids("suricata").size() == 1; }, kStartLimit));
  const std::string before = harness::readFile(rulesFile());
  const auto started = steady_clock::now();
  const std::optional<int> status =
      TestServer::terminate(seconds(build_settings::kStopGraceSeconds + 5));
  ASSERT_TRUE(status.has_value()) << "the server did not stop";
  EXPECT_LT(steady_clock::now() - started, seconds(build_settings::kStopGraceSeconds + 2));
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << "wait status " << *status;
  EXPECT_EQ(harness::readFile(rulesFile()), before);
  const std::string folder = rulesFile().substr(0, rulesFile().rfind('/'));
  DIR* dir = opendir(folder.c_str());
  ASSERT_NE(dir, nullptr);
  const std::string base = rulesFile().substr(folder.size() + 1);
  while (const dirent* entry = readdir(dir)) {
    EXPECT_NE(std::string(entry->d_name).rfind("." + base.substr(0, 64) + ".", 0), 0u)
        << "temporary file left: " << entry->d_name;
  }
  closedir(dir);
  pending.wait();
  TestServer::start();
  EXPECT_EQ(harness::get("/rules?page=1&page_size=5").status, 200) << "the restarted server";
}

}  // namespace
