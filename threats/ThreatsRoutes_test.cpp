// The threat routes' refusals, called in process on owned requests: what the
// front end reads for a day count the store rebuild must not take.
#include <gtest/gtest.h>

#include <string>

#include "threats/Threats.h"

namespace {

http::Request daysRequest(const std::string& days) {
  http::Request request;
  request.method = "GET";
  request.path = "/ioc/filter/" + days;
  request.pattern = "/ioc/filter/:n_days";
  request.segments = {{":n_days", days}};
  return request;
}

TEST(ThreatsRoutesTest, DayCountsThatAreNoPlainNumberAreRefusedBeforeAnyRebuild) {
  const struct {
    const char* days;
    http::Status status;
    const char* body;
  } cases[] = {
      {"abc", http::Status::kInternalServerError, "Bad lexical cast"},
      {"%31", http::Status::kInternalServerError, "Bad lexical cast"},
      {"-1", http::Status::kBadRequest, "Invalid number of days"},
      {"0x10", http::Status::kBadRequest, "Invalid number of days"},
      {"1e3", http::Status::kBadRequest, "Invalid number of days"},
      {"99999999999", http::Status::kBadRequest, "Invalid number of days"},
  };
  const http::Handler handler = Threats::getRecentThreats();
  for (const auto& c : cases) {
    const http::Reply reply = http::replyOf(handler, daysRequest(c.days));
    EXPECT_EQ(reply.code, c.status) << c.days;
    EXPECT_EQ(reply.body, c.body) << c.days;
    EXPECT_FALSE(reply.contentType) << c.days;
  }
}

}  // namespace
