// Counting header lines of a raw request head.
#include "server/RawHeaders.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(RawHeadersTest, CountsHeaderLinesOfOneNameInTheHeadOnly) {
  const struct {
    std::string head;
    size_t origins;
  } cases[] = {
      {"GET / HTTP/1.1\r\nHost: x\r\n\r\n", 0},
      {"GET / HTTP/1.1\r\nOrigin: https://a.example\r\n\r\n", 1},
      {"GET / HTTP/1.1\r\nOrigin: https://a.example\r\norigin: https://b.example\r\n\r\n", 2},
      {"GET / HTTP/1.1\r\nORIGIN : a\r\nHost: x\r\nOrigin:b\r\n\r\n", 2},
      // Near misses: other names, a continuation line, the body, the request line.
      {"GET / HTTP/1.1\r\nOrigins: a\r\nX-Origin: b\r\nOrigin: c\r\n\r\n", 1},
      {"GET / HTTP/1.1\r\nX-Note: a\r\n Origin: b\r\nOrigin: c\r\n\r\n", 1},
      {"POST / HTTP/1.1\r\nOrigin: a\r\n\r\nOrigin: b\r\n", 1},
      {"GET /Origin: HTTP/1.1\r\nOrigin: a\r\n\r\n", 1},
      {"GET / HTTP/1.1\r\nOrigin: a\r\nOrigin: b", 2},  // the head's end not yet read
  };
  for (const auto& c : cases) {
    EXPECT_EQ(raw_headers::countIn(c.head, "Origin"), c.origins) << c.head;
  }
}

}  // namespace
