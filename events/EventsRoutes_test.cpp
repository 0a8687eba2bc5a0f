// The event routes' refusals, called in process on owned requests.
#include <gtest/gtest.h>

#include <string>

#include "events/Events.h"

namespace {

TEST(EventsRoutesTest, TimeshiftThatIsNoIntIsRefused400BeforeRedisIsAsked) {
  const char* cases[] = {"x", "", "99999999999", "h1"};
  const http::Handler handler = Events::getEventsByTimeshift();
  for (const char* timeshift : cases) {
    http::Request request;
    request.pattern = "/events/check/:event_type";
    request.segments = {{":event_type", "alert"}};
    request.query = {{"timeshift", timeshift}};
    const http::Reply reply = http::replyOf(handler, request);
    EXPECT_EQ(reply.code, http::Status::kBadRequest) << timeshift;
    EXPECT_EQ(reply.body, "Invalid timeshift parameter") << timeshift;
  }
}

}  // namespace
