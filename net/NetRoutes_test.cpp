// The network routes called in process: the address history's refusal when
// Redis cannot be reached, and the headers both routes carry.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "common/BuildSettings.h"
#include "common/ConfigFile_test.h"
#include "net/Net.h"

namespace {

// Whether something accepts connections on the test build's Redis port.
bool redisPortOpen() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(build_settings::kRedisPort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool open = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return open;
}

class NetRoutesTest : public ConfigFileTest {};

// The history reads the lists the configuration names, so the test writes
// one of its own: without it the route never reaches Redis.
TEST_F(NetRoutesTest, HistoryWithoutRedisIsOneRefusalText) {
  if (redisPortOpen()) GTEST_SKIP() << "a Redis answers on the test port";
  writeSettings({{"statistical_events", "( \"alert\", \"flow\" )"}});
  http::Request request;
  request.method = "GET";
  request.pattern = "/net/historicalmap/";
  const http::Reply reply = http::replyOf(Net::HandlegetHistoricalNetworkMap(), request);
  EXPECT_EQ(reply.code, http::Status::kInternalServerError);
  EXPECT_EQ(reply.body, "Failed to get historical net data.");
  EXPECT_FALSE(reply.contentType);
}

TEST_F(NetRoutesTest, BothRoutesCarryTheOriginHeaderAloneAndAuditNothing) {
  const http::Handler handlers[] = {Net::HandlegetNetworkMap(),
                                    Net::HandlegetHistoricalNetworkMap()};
  for (const http::Handler& handler : handlers) {
    EXPECT_EQ(handler.frame.cors, http::Cors::kOriginOnly);
    EXPECT_EQ(handler.frame.audit, nullptr);
  }
}

}  // namespace
