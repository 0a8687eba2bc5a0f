// Flattening of event texts into EventItem.
#include "events/EventItem.h"

#include <gtest/gtest.h>

#include "events/EventsException.h"

TEST(EventItemTest, MembersTakeTheirTextForm) {
  const std::string text =
      R"({"event_type":"alert","type":"x","src_ip":"10.0.0.1","dest_ip":"2001:db8::1",)"
      R"("src_port":443,"dest_port":53,"timestamp":"2026-01-02T03:04:05.678+0000",)"
      R"("flow_id":1234567890123456789,"proto":null})";
  EventItem item;
  item.parse(text);
  EXPECT_EQ(item.raw, text);
  EXPECT_EQ(item.type, "x");
  EXPECT_EQ(item.proto, "");
  EXPECT_EQ(item.src_ip, "10.0.0.1");
  EXPECT_EQ(item.dest_ip, "2001:db8::1");
  EXPECT_EQ(item.src_port, "443");
  EXPECT_EQ(item.dest_port, "53");
  EXPECT_EQ(item.timestamp, "2026-01-02T03:04:05.678+0000");
  EXPECT_EQ(item.flow_id, "1234567890123456789");
}

TEST(EventItemTest, BooleansAndCommentsAreAccepted) {
  EventItem item;
  item.parse("/* note */ {\"proto\": true, \"src_port\": false}");
  EXPECT_EQ(item.proto, "true");
  EXPECT_EQ(item.src_port, "false");
  EXPECT_EQ(item.dest_port, "");
}

TEST(EventItemTest, TextThatIsNotJsonThrowsInsteadOfEndingTheProcess) {
  for (const char* text : {"", "{", "not json", "{\"a\":}", "[1,2]"}) {
    EventItem item;
    EXPECT_THROW(item.parse(text), EventsException) << text;
  }
}
