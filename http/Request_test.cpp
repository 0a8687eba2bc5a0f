// The readers of an owned request: typed segments read as the route bodies
// have always read them (the front end sees these texts), query keys decoded,
// headers found in any case.
#include "http/Request.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

http::Request withSegment(const std::string& value) {
  http::Request request;
  request.segments = {{":n", value}};
  return request;
}

TEST(RequestTest, SegmentAsUint32ReadsLeadingNumberOrFailsWithTheLexicalCastText) {
  const struct {
    const char* segment;
    bool reads;
    uint32_t value;
  } cases[] = {
      {"12", true, 12},         {"12abc", true, 12}, {"-1", true, 4294967295u},
      {"+5", true, 5},          {"0x7", true, 0},    {"4294967295", true, 4294967295u},
      {"4294967296", false, 0}, {"%31", false, 0},   {"", false, 0},
      {"abc", false, 0},
  };
  for (const auto& c : cases) {
    const http::Request request = withSegment(c.segment);
    if (c.reads) {
      EXPECT_EQ(http::segmentAs<uint32_t>(request, ":n"), c.value) << c.segment;
      continue;
    }
    try {
      http::segmentAs<uint32_t>(request, ":n");
      ADD_FAILURE() << c.segment << " was read";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "Bad lexical cast") << c.segment;
    }
  }
}

TEST(RequestTest, SegmentAsInt32ReadsSignedNumbersAndRefusesOverflow) {
  const struct {
    const char* segment;
    bool reads;
    int32_t value;
  } cases[] = {
      {"30", true, 30},         {"-1", true, -1},
      {"1e3", true, 1},         {"2147483647", true, 2147483647},
      {"2147483648", false, 0}, {"x1", false, 0},
      {"%33", false, 0},
  };
  for (const auto& c : cases) {
    const http::Request request = withSegment(c.segment);
    if (c.reads) {
      EXPECT_EQ(http::segmentAs<int32_t>(request, ":n"), c.value) << c.segment;
    } else {
      EXPECT_THROW(http::segmentAs<int32_t>(request, ":n"), std::runtime_error) << c.segment;
    }
  }
}

TEST(RequestTest, UnknownSegmentIsAnError) {
  EXPECT_THROW(http::pathParam(withSegment("1"), ":other"), std::runtime_error);
}

TEST(RequestTest, QueryDecodesEscapesAndTakesTheFirstOfRepeatedKeys) {
  http::Request request;
  request.query = {{"src_ip", "10.0.0.1%2F8"}, {"proto", "T+C%zz"}, {"src_ip", "second"}};
  EXPECT_EQ(http::query(request, "src_ip"), "10.0.0.1/8");
  EXPECT_EQ(http::query(request, "proto"), "T+C%zz");
  EXPECT_EQ(http::query(request, "src"), std::nullopt);
  EXPECT_EQ(http::queryOr(request, "limit", "100"), "100");
}

TEST(RequestTest, HeaderIsFoundInAnyCaseAndTheFirstOfTwoCounts) {
  http::Request request;
  request.headers = {{"origin", "https://a"}, {"Origin", "https://b"}, {"Authorizatio", "x"}};
  EXPECT_EQ(http::header(request, "Origin"), "https://a");
  EXPECT_EQ(http::header(request, "Authorization"), std::nullopt);
}

}  // namespace
