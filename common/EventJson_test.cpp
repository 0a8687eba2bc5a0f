// Reading stored event texts with the readers the event operations share.
#include "common/EventJson.h"

#include <gtest/gtest.h>

namespace {

// The JSON reader throws, rather than failing, on arrays nested past its
// depth limit: one such element in a list ended whole requests that skip
// unreadable elements (flow search, time window, hourly counts, alert map).
TEST(EventJsonTest, NestingPastTheDepthLimitIsAParseErrorNotAnException) {
  const std::string deep = std::string(5000, '[') + std::string(5000, ']');
  const std::string shallow = std::string(50, '[') + std::string(50, ']');
  for (auto makeReader : {&event_json::makeReader, &event_json::makeLenientReader}) {
    const auto reader = makeReader();
    Json::Value value;
    std::string error;
    bool parsed = true;
    EXPECT_NO_THROW(
        parsed = event_json::parse(*reader, deep.data(), deep.data() + deep.size(), value, error));
    EXPECT_FALSE(parsed);
    EXPECT_FALSE(error.empty());

    EXPECT_TRUE(
        event_json::parse(*reader, shallow.data(), shallow.data() + shallow.size(), value, error))
        << error;
    EXPECT_EQ(error, "");
  }
}

}  // namespace
