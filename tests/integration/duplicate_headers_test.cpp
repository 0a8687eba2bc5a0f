// Requests that carry a header the access checks read twice: the library
// kept the first alone, so which one decided depended on their order.
#include <string>
#include <vector>

#include "support/RulesFixture.h"

namespace {

using harness::HttpReply;
using harness::httpWith;
using harness::StandIns;

const std::string kFrontEnd = "https://sensor-ui.example:8443";

class DuplicateHeadersTest : public harness::RulesTest {};

TEST_F(DuplicateHeadersTest, TwoOriginsOrTwoAuthorizationsAreRefused400) {
  config_.setString("allowed_origin", kFrontEnd).write();
  const struct {
    std::vector<std::string> headers;
    const char* body;
  } cases[] = {
      {{"Origin: " + kFrontEnd, "Origin: https://evil.example"},
       "Request holds more than one Origin header"},
      {{"Origin: https://evil.example", "origin: " + kFrontEnd},
       "Request holds more than one Origin header"},
      {{"Authorization: Bearer a", "Authorization: Bearer b"},
       "Request holds more than one Authorization header"},
  };
  for (const auto& c : cases) {
    for (const char* method : {"GET", "OPTIONS"}) {
      SCOPED_TRACE(std::string(method) + " with " + c.headers[0] + " and " + c.headers[1]);
      const HttpReply reply = httpWith(c.headers, method, "/suricata/stop/");
      EXPECT_EQ(reply.status, 400);
      EXPECT_EQ(reply.body, c.body);
      EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), kFrontEnd);
    }
  }
  EXPECT_TRUE(StandIns::calls().empty()) << "a refused request ran";
  // One of each is served.
  EXPECT_EQ(
      httpWith({"Origin: " + kFrontEnd, "Authorization: Bearer a"}, "GET", "/events/count/dns")
          .status,
      200);
}

}  // namespace
