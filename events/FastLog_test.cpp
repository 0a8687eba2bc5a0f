// Reversal of fast.log's lines, newest first.
#include "events/FastLog.h"

#include <gtest/gtest.h>

namespace {

TEST(ReverseLinesTest, LastLineFirstEachEndingInALineFeed) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"", ""},
      {"\n", "\n"},
      {"a", "a\n"},
      {"a\n", "a\n"},
      {"a\nb", "b\na\n"},
      {"a\nb\n", "b\na\n"},
      {"a\n\nb\n", "b\n\na\n"},
      {"a\nb\n\n", "\nb\na\n"},
      {"\na", "a\n\n"},
      {"one line\r\ntwo\r\n", "two\r\none line\r\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(events::reverseLines(c.text), c.expected) << '"' << c.text << '"';
  }
}

}  // namespace
