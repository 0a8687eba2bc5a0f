// The simdjson writer against jsoncpp's own default stream writer: for every
// text both read, the written bytes must be the same.
#include "common/JsonLayout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/EventJson.h"
#include "common/FastEvent.h"
#include "common/JsonText.h"
#include "common/SampleEvents_test.h"

namespace {

// jsoncpp's reading of `text`, as the event pages read it.
bool readWithJsoncpp(const std::string& text, Json::Value& value) {
  std::string error;
  const auto reader = event_json::makeReader();
  return event_json::parse(*reader, text.data(), text.data() + text.size(), value, error);
}

// Writes `text` both ways when simdjson reads it; returns whether it did.
bool writesAsJsoncpp(const std::string& text) {
  fast_event::Parser fast;
  if (!fast.parse(text.data(), text.size())) return false;
  Json::Value value;
  EXPECT_TRUE(readWithJsoncpp(text, value)) << text;
  EXPECT_EQ(json_layout::write(fast.root()), json_text::write(value)) << text;
  return true;
}

std::string longArray(int count, const std::string& element) {
  std::string text = "[";
  for (int i = 0; i < count; ++i) text += (i > 0 ? "," : "") + element;
  return text + "]";
}

// An object of `count` members named in descending order, every third name
// given twice.
std::string manyMembers(int count) {
  std::string text = "{";
  for (int i = count; i > 0; --i) {
    const std::string member = "\"member " + std::to_string(i) + "\":" + std::to_string(i);
    text += (text.size() > 1 ? "," : "") + member;
    if (i % 3 == 0) text += ",\"member " + std::to_string(i) + "\":-" + std::to_string(i);
  }
  return text + "}";
}

TEST(JsonLayoutTest, WritesTheHardCasesAsJsoncpp) {
  const std::vector<std::string> cases = {
      R"({"a":9223372036854775807,"b":-9223372036854775808,"c":18446744073709551615})",
      R"({"zero":0,"negative zero":-0,"real negative zero":-0.0,"one":1.0,"big":1e21})",
      R"({"tenth":0.1,"huge":1e300,"tiny":5e-324,"third":0.3333333333333333,"e":1E5})",
      R"({"max":1.7976931348623157e308,"neg":-2.5e-10,"int-like":100000000000000000000.0})",
      R"(["\u0000\u0001\u0002\u0003\u0004\u0005\u0006\u0007\b\t\n\u000b\f\r\u000e\u000f"])",
      R"(["\u0010\u0011\u0012\u0013\u0014\u0015\u0016\u0017\u0018\u0019\u001a\u001b\u001c\u001d\u001e\u001f"])",
      R"({"quote":"\"","backslash":"\\","slash":"\/ and /","del":"\u007f"})",
      "{\"accents\":\"caf\xc3\xa9 \xe2\x82\xac "
      "\xf0\x9f\x98\x80\",\"escaped\":\"\\u00e9\\ud83d\\ude00\"}",
      "{\"bad\":\"\xff\xfe\"}",
      "{\"cut\":\"\xe2\x82\"}",
      R"({"lone":"\ud800","low":"\udc00","mixed":"\ud800\u0041"})",
      R"({})",
      R"([])",
      R"({"o":{},"a":[],"n":null,"t":true,"f":false})",
      R"({"nested":{"deeper":{"deepest":[1,[2,[3,{}]],{"x":[]}]}}})",
      R"([[]])",
      R"([{}])",
      R"([{},[],{}])",
      R"([1,"two",null,true,{}])",
      R"(["a string long enough to push this array past the margin of the line", 1])",
      R"(["a string just short enough to keep the array on a single line", 1])",
      longArray(24, "1"),
      longArray(25, "1"),
      longArray(30, "[]"),
      R"({"dup":1,"dup":2,"a":0,"dup":{"x":1}})",
      R"({"b":1,"a":2,"B":3,"":4,"aa":5,"a\u0000":6,"\u00e9":7})",
      R"({"abcdefghij":1,"abcdefghi":2,"abcdefgh":3,"abcdefghij":4,"abcdefgh\u0000":5,"abcdefgg":6})",
      manyMembers(40),
      R"("just a string")",
      "12",
      "-1.5",
      "null",
      R"({"flow_id":1} trailing)",
      R"({"comment":1 /* here */})",
  };
  for (const std::string& text : cases) writesAsJsoncpp(text);
}

// Real numbers written by the stream as the JSON library writes the same
// double: edge values, values JSON cannot hold, and a spread of bit patterns.
TEST(JsonLayoutTest, WritesRealsAsJsoncpp) {
  std::vector<double> values = {0.0,
                                -0.0,
                                0.1,
                                -2.5,
                                1e21,
                                1e-7,
                                123456789012345680.0,
                                5e-324,
                                2.2250738585072014e-308,
                                1.7976931348623157e308,
                                std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                55.7558,
                                -85.0};
  std::mt19937_64 bits(20261210);
  while (values.size() < 20000) {
    const uint64_t pattern = bits();
    double value;
    std::memcpy(&value, &pattern, sizeof value);
    values.push_back(value);
  }
  for (const double value : values) {
    std::string text;
    size_t used = 0;
    json_layout::Stream(text, used, 0).value(value);
    text.resize(used);
    ASSERT_EQ(text, json_text::write(Json::Value(value))) << std::hexfloat << value;
  }
}

// Plain text is copied several bytes at a time: a byte that needs escaping
// is caught at every offset and in strings of every length around the step.
TEST(JsonLayoutTest, EscapesAtEveryOffsetOfLongStrings) {
  const std::vector<std::string> specials = {
      "\\\"",     "\\\\", "\\u0001", "\\u001f",          "\\n",
      "\xc3\xa9", "\x7f", "/",       "\xf0\x9f\x98\x80", "\\t"};
  for (const std::string& special : specials) {
    for (size_t length = 0; length <= 24; ++length) {
      for (size_t at = 0; at <= length; ++at) {
        const std::string text =
            "[\"" + std::string(at, 'a') + special + std::string(length - at, 'b') + "\"]";
        if (!writesAsJsoncpp(text)) ADD_FAILURE() << "simdjson refused " << text;
      }
    }
  }
}

// Arrays of separately written elements come out as jsoncpp writes the
// whole array.
TEST(JsonLayoutTest, AssemblesArraysAsJsoncpp) {
  const std::vector<std::vector<std::string>> arrays = {
      {},
      {R"({"a":1})"},
      {R"({"a":{"b":[1,2]}})", R"({"c":"d"})", R"([1,[2]])"},
      {"1", "2", "3"},
      {"{}", "[]", "null"},
      {R"("a string long enough to push this array past the margin")", "1"},
      std::vector<std::string>(25, "7"),
      std::vector<std::string>(24, "7"),
  };
  for (const std::vector<std::string>& texts : arrays) {
    // Elements added as written texts, written in place, and both mixed.
    json_layout::ArrayText fromTexts, inPlace, mixed;
    Json::Value expected(Json::arrayValue);
    fast_event::Parser fast;
    for (size_t i = 0; i < texts.size(); ++i) {
      const std::string& text = texts[i];
      ASSERT_TRUE(fast.parse(text.data(), text.size())) << text;
      fromTexts.add(json_layout::write(fast.root()));
      inPlace.add(fast.root());
      if (i % 2 == 0)
        mixed.add(fast.root());
      else
        mixed.add(json_layout::write(fast.root()));
      ASSERT_TRUE(readWithJsoncpp(text, expected.append(Json::Value())));
    }
    const std::string written = json_text::write(expected);
    EXPECT_EQ(std::move(fromTexts).finish(), written) << written;
    EXPECT_EQ(std::move(inPlace).finish(), written) << written;
    EXPECT_EQ(std::move(mixed).finish(), written) << written;
  }
}

// Room reserved ahead of need, too much, too little or none, gives the same
// text, and a finished array keeps little room beyond it: a reply held for a
// slow client would keep all of it.
TEST(JsonLayoutTest, ArraysAreTheSameWhateverWasReservedAndKeepLittleRoom) {
  const std::string longText = R"({"payload":")" + std::string(200 * 1024, 'x') + R"("})";
  const std::vector<std::string> texts = {R"({"a":1})", longText, R"({"c":[1,2]})", longText};
  fast_event::Parser fast;
  std::string expected;
  for (const size_t reserved : {size_t{0}, size_t{1024}, size_t{300 * 1024}, size_t{8 << 20}}) {
    json_layout::ArrayText array;
    array.reserve(reserved);
    for (int round = 0; round < 20; ++round) {
      for (const std::string& text : texts) {
        ASSERT_TRUE(fast.parse(text.data(), text.size()));
        array.add(fast.root());
      }
    }
    const std::string finished = std::move(array).finish();
    if (expected.empty()) expected = finished;
    EXPECT_EQ(finished, expected) << "reserved " << reserved;
    EXPECT_LE(finished.capacity(), finished.size() + finished.size() / 4 + 64 * 1024)
        << "reserved " << reserved;
  }
}

// Every element of the demo's sample events is written as jsoncpp writes it.
TEST(JsonLayoutTest, WritesEverySampleEventAsJsoncpp) {
  const std::vector<std::string> texts = sample_events::elements();
  ASSERT_FALSE(texts.empty());
  for (const std::string& text : texts) EXPECT_TRUE(writesAsJsoncpp(text)) << text;
}

}  // namespace
