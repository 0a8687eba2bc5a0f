// The one-pass read of a rules file: which logical lines make rules, what a
// continued rule reads as, and the kept matches of the last queries.
#include "rules/ParsedRules.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "rules/RuleLines.h"

namespace {

constexpr char kA[] = "alert tcp any any -> any any (msg:\"a\"; sid:1; rev:1;)";
constexpr char kB[] = "#drop udp any any -> any any (msg:\"b\"; sid:2; rev:2;)";

std::vector<std::string> contents(const std::string& text) {
  const ParsedRules parsed(file_cache::FileText::copyOf(text));
  std::vector<std::string> out;
  for (const RuleView& rule : parsed.rules()) out.emplace_back(rule.content);
  return out;
}

TEST(ParsedRulesTest, ListsEveryRuleAndPassesOverTheOtherLines) {
  const std::string a = kA;
  const std::string b = kB;
  const std::string bContent = b.substr(1);
  const struct {
    const char* name;
    std::string text;
    std::vector<std::string> rules;
  } cases[] = {
      {"empty", "", {}},
      {"last line without newline", a + "\n" + b, {a, bContent}},
      {"carriage return stays in the content",
       a + "\r\n" + b + "\r\n",
       {a + "\r", bContent + "\r"}},
      {"blank lines, notes and a licence header",
       "# This file is licensed (see LICENSE)\n\n" + a + "\n   \n# note: keep\n" + b + "\n",
       {a, bContent}},
      {"a sid above 32 bits", "alert (sid:4294967296; rev:1;)\n" + a + "\n", {a}},
      {"a continued rule is one rule",
       "alert tcp any any -> any any (msg:\"c\"; \\\n    sid:3; rev:1;)\n" + a + "\n",
       {"alert tcp any any -> any any (msg:\"c\";     sid:3; rev:1;)", a}},
      {"a continued rule in a CRLF file",
       "alert tcp any any -> any any (msg:\"c\"; \\\r\n sid:3;)\r\n" + a + "\r\n",
       {"alert tcp any any -> any any (msg:\"c\";  sid:3;)\r", a + "\r"}},
      {"a disabled continued rule",
       "#alert tcp any any -> any any (msg:\"c\"; \\\n sid:3;)\n",
       {"alert tcp any any -> any any (msg:\"c\";  sid:3;)"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(contents(c.text), c.rules);
  }
}

TEST(ParsedRulesTest, ContinuedLinesJoinAsTheLoaderJoinsThem) {
  struct Logical {
    std::string text;
    size_t begin;
    size_t end;
    size_t lines;
    bool operator==(const Logical& o) const {
      return text == o.text && begin == o.begin && end == o.end && lines == o.lines;
    }
  };
  const struct {
    const char* name;
    std::string text;
    std::vector<Logical> lines;
  } cases[] = {
      {"one backslash", "a \\\n  b\nc\n", {{"a   b", 0, 7, 2}, {"c", 8, 9, 1}}},
      {"white space after the backslash", "a\\ \t\r\nb\r\n", {{"ab\r", 0, 8, 2}}},
      {"continued twice", "a\\\nb\\\nc", {{"abc", 0, 7, 3}}},
      {"a blank line ends it", "a\\\n\nb\n", {{"a", 0, 3, 2}, {"b", 4, 5, 1}}},
      {"cut off by the end of the file", "x\na\\", {{"x", 0, 1, 1}, {"a", 2, 4, 1}}},
      // No line follows the file's last newline: the line is not continued
      // into one that is not there.
      {"cut off after its newline", "x\na\\\n", {{"x", 0, 1, 1}, {"a", 2, 4, 1}}},
      {"cut off after its CRLF", "a\\\r\n", {{"a", 0, 3, 1}}},
      {"a backslash inside the line", "a\\b\n", {{"a\\b", 0, 3, 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<Logical> read;
    rule_lines::forEach(c.text, [&](const rule_lines::LogicalLine& line) {
      read.push_back({std::string(line.text), line.begin, line.end, line.lines});
    });
    EXPECT_TRUE(read == c.lines);
  }
}

// A filter's matches are worked out once per query and kept with the parse:
// the same query gets the same list without asking the filter again, only the
// last few queries are kept, and a filter that throws keeps nothing.
TEST(ParsedRulesTest, KeepsTheMatchesOfTheLastQueries) {
  const std::string text = std::string(kA) + "\n" + kB + "\n" + kA + "\n\n" + kB + "\n";
  const ParsedRules parsed(file_cache::FileText::copyOf(text));
  int asked = 0;
  const auto enabled = [&](const RuleView& rule) { return ++asked, rule.enabled; };

  const auto first = parsed.matching("enabled", enabled);
  EXPECT_EQ(*first, (ParsedRules::Indexes{0, 2}));
  EXPECT_EQ(asked, 4);  // the blank line is no rule
  EXPECT_EQ(parsed.matching("enabled", enabled), first);
  EXPECT_EQ(asked, 4);

  EXPECT_THROW(
      parsed.matching("throws", [](const RuleView&) -> bool { throw std::out_of_range("x"); }),
      std::out_of_range);
  int thrown = 0;
  EXPECT_TRUE(parsed.matching("throws", [&](const RuleView&) { return ++thrown, false; })->empty());
  EXPECT_EQ(thrown, 4);

  for (size_t i = 0; i < ParsedRules::kKeptQueries; ++i) {
    parsed.matching("other " + std::to_string(i), enabled);
  }
  asked = 0;
  EXPECT_EQ(*parsed.matching("enabled", enabled), (ParsedRules::Indexes{0, 2}));
  EXPECT_EQ(asked, 4);  // pushed out by the newer queries, so worked out again
}

}  // namespace
