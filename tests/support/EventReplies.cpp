// Checks shared by the tests of the event routes.
#include "support/EventReplies.h"

#include <json/reader.h>

namespace harness {

Json::Value parseJson(const std::string& text) {
  Json::Value value;
  Json::Reader reader;
  EXPECT_TRUE(reader.parse(text, value)) << text;
  return value;
}

void expectEventsJson(const HttpReply& reply) {
  EXPECT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(reply.header("Content-Type").value_or(""), "application/json");
  EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
  EXPECT_EQ(reply.headerCount("Access-Control-Allow-Methods"), 0u);
  EXPECT_EQ(reply.headerCount("Access-Control-Allow-Headers"), 0u);
}

void expectEventsText(const HttpReply& reply, long status, const std::string& body) {
  EXPECT_EQ(reply.status, status);
  EXPECT_EQ(reply.body, body);
  EXPECT_EQ(reply.headerCount("Content-Type"), 0u);
  EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
  EXPECT_EQ(reply.headerCount("Access-Control-Allow-Methods"), 0u);
}

std::string localText(time_t moment, const char* format) {
  std::tm local{};
  localtime_r(&moment, &local);
  char text[64];
  strftime(text, sizeof text, format, &local);
  return text;
}

std::string localStamp(long seconds) {
  return localText(time(nullptr) + seconds, "%Y-%m-%dT%H:%M:%S.123456+0500");
}

}  // namespace harness
