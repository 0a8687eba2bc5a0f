// The one-pass parse of a rules file: which lines make rules, which is the
// first that does not, and the fields of one line against the extractors.
#include "rules/ParsedRules.h"

#include <gtest/gtest.h>

#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "rules/RuleFunctions.h"

namespace {

constexpr char kA[] = "alert tcp any any -> any any (msg:\"a\"; sid:1; rev:1;)";
constexpr char kB[] = "#drop udp any any -> any any (msg:\"b\"; sid:2; rev:2;)";

TEST(ParsedRulesTest, FindsTheRulesAndTheFirstLineThatDoesNotParse) {
  const std::string a = kA;
  const std::string b = kB;
  struct Case {
    std::string text;
    size_t rules;
    uint64_t firstBadLine;
    LineError error;
    size_t rulesBefore;
  };
  const Case cases[] = {
      {"", 0, 0, LineError::kNone, 0},
      {a + "\n" + b + "\n", 2, 0, LineError::kNone, 2},
      {a + "\n" + b, 2, 0, LineError::kNone, 2},  // last line without newline
      {a + "\r\n", 1, 0, LineError::kNone, 1},   // carriage return stays in the line
      {"\n", 0, 1, LineError::kNotANumber, 0},
      {a + "\n\n" + b + "\n", 2, 2, LineError::kNotANumber, 1},
      {a + "\n# comment\n\n", 1, 2, LineError::kNotANumber, 1},
      {"alert (sid:2147483648; rev:1;)\n" + a + "\n", 1, 1, LineError::kOutOfRange, 0},
      {"alert (sid:2147483647; rev:1;)\n", 1, 0, LineError::kNone, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const ParsedRules parsed(file_cache::FileText::copyOf(c.text));
    EXPECT_EQ(parsed.rules().size(), c.rules);
    EXPECT_EQ(parsed.firstBadLine(), c.firstBadLine);
    EXPECT_EQ(parsed.firstBadError(), c.error);
    EXPECT_EQ(parsed.rulesBeforeBadLine(), c.rulesBefore);
  }
}

TEST(ParsedRulesTest, OnePassGivesTheFieldsOfTheExtractors) {
  const char* lines[] = {
      kA,
      kB,
      "# alert tcp (msg:\"x\"; classtype:policy; sid:7; rev:3;)",
      "alert tcp (msg:\"sid 5\"; sid:x; sid:007; rev:1; classtype classtype)",
      "alert tcp (msg:\"cut: here\"; msg:\"second\"; sid:1; rev:1; classtype:)",
      "alert\ttcp ( msg:\"blank\"; sid:1; rev:1;)",
      "only",
      "",
      ":::",
      "alert tcp (msg:\"a\"; sid:1; rev)",
      "alert tcp (msg:\"a\"; classtype:x; sid:1; rev:2; msg:\"b\"; classtype:y; sid:3; rev:4;)",
      // Keywords glued to other text, or at either end of the line.
      "alert tcp (x.msg:\"a\"; msg:\"b\"; sidsid:1; xsid:2; sid:3; rev:4; classtypes:z)",
      "#msg:\"off\"; (msg:\"on\"; sid:1; rev:1;)",
      "msg:m sid:1 rev:2 classtype:c",
      "alert tcp (rev:1; sid:2; classtype",
      "alert tcp (rev:1; classtype:c; sid",
      "alert tcp (msg",
      "sid",
      "si",
      "cla",
      "rev 1",
      "sid 1",
      "sid 1 rev 2",
      "alert tcp (msg:\"sid rev msg classtype\"; sid:1; rev:1;)",
      "alert tcp (msg:(sid:1; rev:2;))",
  };
  // The same fields wherever the keywords fall among the 16-byte blocks
  // that are searched at once.
  std::vector<std::string> shifted;
  for (const char* line :
       {"(msg:\"a\"; classtype:c; sid:12; rev:3;)", "(sid:x; sid:5; rev:6 msg)"}) {
    for (size_t pad = 0; pad <= 40; ++pad)
      shifted.push_back("alert" + std::string(pad, ' ') + line);
  }
  std::vector<std::string> all(std::begin(lines), std::end(lines));
  all.insert(all.end(), shifted.begin(), shifted.end());
  for (const std::string& line : all) {
    SCOPED_TRACE(line);
    RuleView rule;
    const LineError error = parseRuleLine(line, rule);
    EXPECT_EQ(rule.action, RuleFunctions::get_action_safe(line));
    EXPECT_EQ(rule.protocol, RuleFunctions::get_proto_safe(line));
    EXPECT_EQ(rule.classtype, RuleFunctions::get_classtype_safe(line));
    EXPECT_EQ(rule.msg, RuleFunctions::get_message_safe(line));
    if (error == LineError::kNone) {
      EXPECT_EQ(rule.sid, std::stoul(RuleFunctions::get_sid_safe(line)));
      EXPECT_EQ(rule.rev, std::stoul(RuleFunctions::get_revision_safe(line)));
    }
  }
}

}  // namespace

namespace {

// A filter's matches are worked out once per query and kept with the parse:
// the same query gets the same list without asking the filter again, only the
// last few queries are kept, a filter that throws keeps nothing, and only the
// rules before a line that does not parse are looked at.
TEST(ParsedRulesTest, KeepsTheMatchesOfTheLastQueries) {
  const std::string text = std::string(kA) + "\n" + kB + "\n" + kA + "\n\n" + kB + "\n";
  const ParsedRules parsed(file_cache::FileText::copyOf(text));
  int asked = 0;
  const auto enabled = [&](const RuleView& rule) { return ++asked, rule.enabled; };

  const auto first = parsed.matching("enabled", enabled);
  EXPECT_EQ(*first, (ParsedRules::Indexes{0, 2}));  // the rule after the blank line is not seen
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(parsed.matching("enabled", enabled), first);
  EXPECT_EQ(asked, 3);

  EXPECT_THROW(parsed.matching("throws", [](const RuleView&) -> bool { throw std::out_of_range("x"); }),
               std::out_of_range);
  int thrown = 0;
  EXPECT_TRUE(parsed.matching("throws", [&](const RuleView&) { return ++thrown, false; })->empty());
  EXPECT_EQ(thrown, 3);

  for (size_t i = 0; i < ParsedRules::kKeptQueries; ++i) {
    parsed.matching("other " + std::to_string(i), enabled);
  }
  asked = 0;
  EXPECT_EQ(*parsed.matching("enabled", enabled), (ParsedRules::Indexes{0, 2}));
  EXPECT_EQ(asked, 3);  // pushed out by the newer queries, so worked out again
}

}  // namespace
