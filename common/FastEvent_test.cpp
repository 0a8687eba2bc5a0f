// The simdjson member reader against the jsoncpp reader it stands in for:
// whatever it settles, it must settle as jsoncpp reads the same text.
#include "common/FastEvent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/EventJson.h"
#include "common/SampleEvents_test.h"

namespace {

const std::vector<std::vector<std::string_view>> kPaths = {
    {"timestamp"}, {"flow_id"}, {"src_ip"}, {"alert", "signature"}, {"alert", "signature_id"}};

// The member at `path` as jsoncpp reads it (null when a step is missing).
const Json::Value& jsonMember(const Json::Value& root, const std::vector<std::string_view>& path) {
  const Json::Value* current = &root;
  for (std::string_view name : path) {
    current = &event_json::member(*current, std::string(name).c_str());
  }
  return *current;
}

// Checks that whatever the fast reader settles for `text` agrees with
// jsoncpp; returns whether it settled every path.
bool agreesWithJsoncpp(const std::string& text) {
  SCOPED_TRACE(text);
  const auto reader = event_json::makeReader();
  Json::Value root;
  std::string error;
  const bool jsoncppParsed =
      event_json::parse(*reader, text.data(), text.data() + text.size(), root, error);
  fast_event::Parser fast;
  if (!fast.parse(text.data(), text.size())) return false;
  EXPECT_TRUE(jsoncppParsed) << "simdjson accepts what jsoncpp refuses";
  if (!jsoncppParsed) return false;

  bool settled = true;
  for (const auto& path : kPaths) {
    SCOPED_TRACE(std::string(path.back()));
    std::optional<simdjson::dom::element> found = fast.root();
    for (std::string_view name : path) {
      if (found) found = fast_event::find(*found, {name});
    }
    const Json::Value& expected = jsonMember(root, path);
    const std::optional<std::string> form = fast_event::textForm(found);
    if (form) {
      EXPECT_EQ(*form, event_json::textForm(expected));
    }
    const std::optional<int64_t> integer = fast_event::int64OrZero(found);
    if (integer) {
      EXPECT_EQ(*integer, expected.isInt64() ? expected.asInt64() : 0);
    }
    const std::optional<std::string_view> string = fast_event::string(found);
    EXPECT_EQ(string.has_value(), expected.isString());
    if (string && expected.isString()) {
      EXPECT_EQ(std::string(*string), expected.asString());
    }
    settled = settled && form && integer;
  }
  return settled;
}

std::string nested(int depth) {
  return "{\"flow_id\":" + std::string(depth, '[') + std::string(depth, ']') + "}";
}

// Texts one step from a plain event: every member type, the number limits,
// escapes, bad bytes, duplicate names, and what only jsoncpp tolerates.
TEST(FastEventTest, SettlesOnlyAsJsoncppReads) {
  const std::vector<std::string> cases = {
      R"({"flow_id":9223372036854775807,"src_ip":"10.0.0.1"})",
      R"({"flow_id":-9223372036854775808})",
      R"({"flow_id":9223372036854775808})",
      R"({"flow_id":18446744073709551615})",
      R"({"flow_id":18446744073709551616})",
      R"({"flow_id":-9223372036854775809})",
      R"({"flow_id":-0})",
      R"({"flow_id":0.1,"timestamp":1e300})",
      R"({"flow_id":5e-324,"timestamp":-0.0})",
      R"({"flow_id":1e400})",
      R"({"flow_id":12.0,"alert":{"signature_id":2.5e6}})",
      R"({"flow_id":0012})",
      R"({"flow_id":true,"src_ip":false,"timestamp":null})",
      R"({"flow_id":{"b":1,"a":[1,"x",null]},"src_ip":[]})",
      R"({"flow_id":1,"flow_id":2,"alert":{"signature":"a"},"alert":{"signature":"b"}})",
      R"({"alert":{"signature":"a","signature":7}})",
      R"({"alert":"not an object","src_ip":"1.2.3.4"})",
      R"({"src_ip":"\u0041\"\\\/\b\f\n\r\t"})",
      R"({"src_ip":"\ud83d\ude00"})",
      R"({"src_ip":"\ud800"})",
      R"({"src_ip":"\udc00"})",
      R"({"src_ip":"\ud800\u0041"})",
      R"({"src_ip":"\u0000x"})",
      R"({"src_ip":"\x"})",
      "{\"src_ip\":\"tab\there\"}",
      "{\"src_ip\":\"\x01\x1f\"}",
      "{\"src_ip\":\"caf\xc3\xa9\"}",
      "{\"src_ip\":\"bad \xff byte\"}",
      "{\"src_ip\":\"cut \xc3\"}",
      R"({"flow_id":1 /* comment */})",
      R"({"flow_id":1,})",
      R"({"flow_id":1} trailing)",
      R"({"flow_id":1}{"flow_id":2})",
      R"({} )",
      R"([{"flow_id":1}])",
      R"("text")",
      "42",
      "",
      "   ",
      "{",
      "{\"flow_id\":01x}",
      nested(30),
      nested(63),
      nested(64),
      nested(1001),
      "\xef\xbb\xbf{\"flow_id\":1}",
  };
  for (const std::string& text : cases) agreesWithJsoncpp(text);
}

// The elements of the demo's sample events are all plain: simdjson settles
// every one of them, each member as jsoncpp reads it.
TEST(FastEventTest, SettlesEverySampleEvent) {
  const std::vector<std::string> texts = sample_events::elements();
  ASSERT_FALSE(texts.empty());
  for (const std::string& text : texts) EXPECT_TRUE(agreesWithJsoncpp(text)) << text;
}

}  // namespace
