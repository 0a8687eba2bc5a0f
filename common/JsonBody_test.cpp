// Reading a request body as exactly one JSON document.
#include "common/JsonBody.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(JsonBodyTest, ReadTakesOneDocumentAndNothingElse) {
  const struct {
    std::string text;
    bool whole;
    bool object;
  } cases[] = {
      {"{}", true, true},
      {" {\"a\":1}\n", true, true},
      {"{} // a comment", true, true},
      {"null", true, false},
      {"[1]", true, false},
      {"\"text\"", true, false},
      {"", false, false},
      {"{", false, false},
      {"{} x", false, false},
      {"{}{}", false, false},
      {"{},", false, false},
      {"\xEF\xBB\xBF{}", false, false},
      {std::string(1001, '[') + std::string(1001, ']'), false, false},
      {std::string(100000, '['), false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(json_body::read(c.text).has_value(), c.whole) << c.text.substr(0, 20);
    EXPECT_EQ(json_body::readObject(c.text).has_value(), c.object) << c.text.substr(0, 20);
  }
}

}  // namespace
