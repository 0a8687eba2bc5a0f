// Entry of the integration tests: starts the tests' own Redis and the server
// once for the whole run, and stops both at the end.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include "support/Harness.h"

namespace {

class ProcessesEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    harness::TestRedis::start();
    harness::TestConfig().write();
    harness::StandIns::reset();
    harness::TestServer::start();
  }
  void TearDown() override {
    harness::TestServer::stop();
    harness::TestRedis::stop();
  }
};

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_ALL);
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new ProcessesEnvironment);
  const int result = RUN_ALL_TESTS();
  curl_global_cleanup();
  return result;
}
