// The pure parts of the access checks: the Bearer credentials and the token
// comparison.
#include "http/Access.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "http/Audit.h"

namespace {

using http::access::bearerToken;
using http::access::sameToken;

TEST(AccessTest, BearerTokenIsTakenFromTheBearerSchemeOnly) {
  const struct {
    const char* authorization;
    std::optional<std::string> token;
  } cases[] = {
      {"Bearer abc", "abc"},
      {"bearer abc", "abc"},
      {"BEARER abc", "abc"},
      {"Bearer \t abc  ", "abc"},
      {"  Bearer abc", "abc"},
      {"Bearer a b", "a b"},
      // Near misses.
      {"Bearer", std::nullopt},
      {"Bearer ", std::nullopt},
      {"Bearerabc", std::nullopt},
      {"Beare abc", std::nullopt},
      {"Basic YWJjOmRlZg==", std::nullopt},
      {"abc", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(bearerToken(c.authorization), c.token) << "'" << c.authorization << "'";
  }
}

TEST(AccessTest, SameTokenNeedsEveryByteAndTheLength) {
  EXPECT_TRUE(sameToken("s3cret", "s3cret"));
  for (const char* offered : {"s3crex", "t3cret", "s3cre", "s3crett", "", "S3CRET"}) {
    EXPECT_FALSE(sameToken(offered, "s3cret")) << offered;
  }
  EXPECT_TRUE(sameToken(std::string("a\0b", 3), std::string("a\0b", 3)));
  EXPECT_FALSE(sameToken(std::string("a\0b", 3), std::string("a\0c", 3)));
}

TEST(AuditTest, QuotedEscapesWhatCouldEndOrFakeAField) {
  const struct {
    std::string text;
    size_t limit;
    std::string quoted;
  } cases[] = {
      {"alert tcp", 80, R"("alert tcp")"},
      {R"(msg:"x")", 80, R"("msg:\"x\"")"},
      {"a\\b", 80, R"("a\\b")"},
      {"a\nb\r", 80, R"("a\nb\x0d")"},
      {std::string("a\0b", 3), 80, R"("a\x00b")"},
      {"\x1b[0m\x7f", 80, R"("\x1b[0m\x7f")"},
      {"abcdef", 3, R"("abc")"},
      {"abc", 3, R"("abc")"},
      {"", 3, R"("")"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(http::audit::quoted(c.text, c.limit), c.quoted) << c.text;
  }
}

}  // namespace
