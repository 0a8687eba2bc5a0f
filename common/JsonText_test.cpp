// Reading a request body as exactly one JSON document.
#include "common/JsonText.h"

#include <string>

#include <gtest/gtest.h>

namespace {

TEST(JsonTextTest, ParseWholeTakesOneDocumentAndNothingElse) {
  const struct {
    std::string text;
    bool whole;
  } cases[] = {
      {"{}", true},
      {" {\"a\":1}\n", true},
      {"{} // a comment", true},
      {"null", true},
      {"[1]", true},
      {"", false},
      {"{", false},
      {"{} x", false},
      {"{}{}", false},
      {"{},", false},
      {"\xEF\xBB\xBF{}", false},
      {std::string(1001, '[') + std::string(1001, ']'), false},
  };
  for (const auto& c : cases) {
    Json::Value root;
    EXPECT_EQ(json_text::parseWhole(c.text, root), c.whole) << c.text.substr(0, 20);
  }
}

}  // namespace
