// The live stream's message text and the reading of Last-Event-ID.
#include "events/StreamMessages.h"

#include <gtest/gtest.h>

namespace {

using events::stream_text::message;
using events::stream_text::reset;
using events::stream_text::seenLength;

TEST(StreamMessagesTest, EventTextIsSentUnchangedOneDataLinePerLine) {
  const struct {
    const char* event;
    const char* expected;
  } cases[] = {
      {R"({"flow_id":1})", "id: 7\ndata: {\"flow_id\":1}\n\n"},
      {"", "id: 7\ndata: \n\n"},
      {"{\n\"a\": 1\n}", "id: 7\ndata: {\ndata: \"a\": 1\ndata: }\n\n"},
      {"a\r\nb", "id: 7\ndata: a\ndata: b\n\n"},
      {"a\rb", "id: 7\ndata: a\ndata: b\n\n"},
      {"a\n\nb", "id: 7\ndata: a\ndata: \ndata: b\n\n"},
      {"a\n", "id: 7\ndata: a\ndata: \n\n"},
      {"data: x", "id: 7\ndata: data: x\n\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(message(7, c.event), c.expected) << c.event;
}

TEST(StreamMessagesTest, ResetNamesTheLengthAsIdAndInItsData) {
  EXPECT_EQ(reset(0), "event: reset\nid: 0\ndata: {\"length\":0}\n\n");
  EXPECT_EQ(reset(5000), "event: reset\nid: 5000\ndata: {\"length\":5000}\n\n");
}

TEST(StreamMessagesTest, LastEventIdIsADecimalLength) {
  const struct {
    const char* text;
    int64_t expected;
  } valid[] = {{"0", 0}, {"7", 7}, {"007", 7}, {"9223372036854775807", INT64_MAX}};
  for (const auto& c : valid) EXPECT_EQ(seenLength(c.text), c.expected) << c.text;

  const char* const nearMisses[] = {"",
                                    "-1",
                                    "+5",
                                    " 5",
                                    "5 ",
                                    "5x",
                                    "0x10",
                                    "1e3",
                                    "9223372036854775808",
                                    "18446744073709551616",
                                    "99999999999999999999"};
  for (const char* text : nearMisses) EXPECT_FALSE(seenLength(text).has_value()) << text;
}

}  // namespace
