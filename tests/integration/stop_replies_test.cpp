// SIGTERM while rule adds stream in: every add that was applied (its rule is
// in the file) must have had its reply sent before the process exits.
#include <atomic>
#include <chrono>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/BuildSettings.h"
#include "support/RulesFixture.h"

namespace {

using harness::TestServer;
using std::chrono::milliseconds;
using std::chrono::seconds;

std::string ruleWithSid(int sid) {
  return "alert ip any any -> any any (msg:\"stop " + std::to_string(sid) +
         "\"; sid:" + std::to_string(sid) + "; rev:1;)";
}

std::string addBody(int sid) {
  std::string escaped;
  for (const char c : ruleWithSid(sid)) {
    if (c == '"') escaped += '\\';
    escaped += c;
  }
  return "{\"content\":\"" + escaped + "\"}";
}

class StopRepliesTest : public harness::RulesTest {};

// In 4 of 600 adds during a stop the rule was written but the connection was
// closed without the reply: the client retried and added the rule twice.
TEST_F(StopRepliesTest, EveryAppliedAddDuringAStopGotItsReply) {
  struct StartAgain {
    ~StartAgain() { TestServer::start(); }
  } startAgain;
  constexpr int kRounds = 10;
  constexpr int kClients = 8;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    harness::writeFile(rulesFile(), "");
    TestServer::start();
    std::mutex mutex;
    std::map<int, long> statusOf;  // sid -> status the client saw (0: no reply)
    std::atomic<int> answered{0};
    std::vector<std::future<void>> clients;
    for (int client = 0; client < kClients; ++client) {
      clients.push_back(std::async(std::launch::async, [&, client] {
        for (int i = 0; i < 100; ++i) {
          const int sid = 100000 + round * 10000 + client * 100 + i;
          const long status =
              harness::http("POST", "/rules/add/", addBody(sid), seconds(10)).status;
          {
            const std::lock_guard<std::mutex> lock(mutex);
            statusOf[sid] = status;
          }
          if (status != 200) return;
          ++answered;
        }
      }));
    }
    ASSERT_TRUE(harness::waitFor([&] { return answered >= 8; }, seconds(20)));
    const std::optional<int> stopped =
        TestServer::terminate(seconds(build_settings::kStopGraceSeconds + 5));
    ASSERT_TRUE(stopped.has_value()) << "the server did not stop";
    for (auto& client : clients) client.wait();
    const std::string rules = harness::readFile(rulesFile());
    int applied = 0;
    for (const auto& [sid, status] : statusOf) {
      if (rules.find(ruleWithSid(sid) + "\n") == std::string::npos) continue;
      ++applied;
      EXPECT_EQ(status, 200) << "sid " << sid << " was added, its client saw " << status;
    }
    EXPECT_GE(applied, 8);
  }
}

}  // namespace
