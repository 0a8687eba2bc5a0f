// Token views, field extractors and the small text functions on rule lines.
#include "rules/RuleFunctions.h"

#include <gtest/gtest.h>

#include "rules/RuleText.h"

namespace {

using Strings = std::vector<std::string>;

TEST(RuleFunctionsTest, TokenViewsSkipRunsOfDelimiters) {
  const std::string line = "#alert tcp  a.b,c!d (msg:\"x y\";; sid:1;)\tz";
  EXPECT_EQ(RuleFunctions::get_all_tokens(line),
            (Strings{"alert", "tcp", "a", "b", "c", "d", "msg", "\"x", "y\"", "sid", "1",
                     "\tz"}));
  EXPECT_EQ(RuleFunctions::get_all_message_tokens(line),
            (Strings{"#alert tcp  a.b,c!d ", "msg", "\"x y\"", " sid", "1", "\tz"}));
  EXPECT_EQ(RuleFunctions::get_all_tokens(" .,;:!()#"), Strings{});
  EXPECT_EQ(RuleFunctions::get_all_message_tokens(""), Strings{});
}

TEST(RuleFunctionsTest, ExtractorsFallBackWhenAFieldIsMissing) {
  struct Case {
    const char* line;
    const char* action;
    const char* proto;
    const char* classtype;
    const char* sid;
    const char* rev;
    const char* msg;
  };
  const Case cases[] = {
      {"", "unknown", "unknown", "unlnown", "unlnown", "unlnown", "undefined"},
      {"alert", "alert", "unknown", "unlnown", "unlnown", "unlnown", "undefined"},
      // Keywords as the last token have no value.
      {"pass udp classtype", "pass", "udp", "unlnown", "unlnown", "unlnown", "undefined"},
      {"x y (sid:10; rev:2; classtype:a; classtype:b; msg", "x", "y", "a", "10", "2",
       "undefined"},
      // sid and rev skip values that are not all digits, and keep leading zeros.
      {"x y (sid:-1; sid:0100; rev:2a; rev:03;)", "x", "y", "unlnown", "0100", "03",
       "undefined"},
      {"x y (msg:\"\";)", "x", "y", "unlnown", "unlnown", "unlnown", "\"\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(RuleFunctions::get_action_safe(c.line), c.action);
    EXPECT_EQ(RuleFunctions::get_proto_safe(c.line), c.proto);
    EXPECT_EQ(RuleFunctions::get_classtype_safe(c.line), c.classtype);
    EXPECT_EQ(RuleFunctions::get_sid_safe(c.line), c.sid);
    EXPECT_EQ(RuleFunctions::get_revision_safe(c.line), c.rev);
    EXPECT_EQ(RuleFunctions::get_message_safe(c.line), c.msg);
  }
}

TEST(RuleFunctionsTest, TextFunctions) {
  EXPECT_TRUE(RuleFunctions::is_digits(""));
  EXPECT_TRUE(RuleFunctions::is_digits("0123456789"));
  for (const char* text : {"12a", "a12", " 1", "+1", "1.5", "\xd9\xa1"}) {
    EXPECT_FALSE(RuleFunctions::is_digits(text)) << text;
  }

  const std::pair<std::string, std::string> ltrims[] = {
      {" \t\n\v\f\rx y ", "x y "}, {"", ""}, {" \t ", ""}, {"#  a", "#  a"}};
  for (const auto& [in, out] : ltrims) EXPECT_EQ(RuleFunctions::ltrim(in), out) << in;

  const std::pair<std::string, std::string> removals[] = {
      {"#   alert x", "alert x"}, {"  #alert x", "#alert x"}, {"##alert", "#alert"},
      {"alert", "alert"},        {"#", ""},                  {"", ""}};
  for (const auto& [in, out] : removals) EXPECT_EQ(RuleFunctions::removeComment(in), out) << in;

  const std::pair<std::string, std::string> toggles[] = {
      {"", "#"}, {"#alert", "alert"}, {"##alert", "#alert"}, {"alert", "#alert"},
      {" #alert", "# #alert"}};
  for (const auto& [in, out] : toggles) EXPECT_EQ(rules::toggleComment(in), out) << in;
}

TEST(RuleFunctionsTest, SidLookupComparesText) {
  const std::string text =
      "alert tcp any any -> any any (sid:100; rev:1;)\n"
      "# free text\n"
      "alert udp any any -> any any (sid:7; rev:1;)";
  EXPECT_TRUE(RuleFunctions::text_has_sid(text, "100"));
  EXPECT_TRUE(RuleFunctions::text_has_sid(text, "7"));
  EXPECT_FALSE(RuleFunctions::text_has_sid(text, "0100"));
  EXPECT_FALSE(RuleFunctions::text_has_sid(text, "10"));
  // A line without a numeric sid yields the fallback text.
  EXPECT_TRUE(RuleFunctions::text_has_sid(text, "unlnown"));
  EXPECT_FALSE(RuleFunctions::text_has_sid("", "unlnown"));
}

}  // namespace
