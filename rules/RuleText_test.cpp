// The text transforms behind the rule edits, checked byte for byte.
#include "rules/RuleText.h"

#include <gtest/gtest.h>

namespace {

constexpr char kA[] = "alert tcp any any -> any any (msg:\"a\"; sid:1; rev:1;)";
constexpr char kB[] = "drop udp any any -> any any (msg:\"b\"; sid:2; rev:1;)";

std::string lines(std::initializer_list<std::string> parts) {
  std::string text;
  for (const std::string& part : parts) text += part + "\n";
  return text;
}

TEST(RuleTextTest, ToggleSwitchesEveryMatchingLine) {
  const std::string a = kA;
  const std::string b = kB;
  struct Case {
    const char* name;
    std::string text;
    std::string rule;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"enabled line is commented out", lines({a, b}), a, lines({"#" + a, b})},
      {"disabled line is enabled", lines({"#" + a, b}), a, lines({a, b})},
      {"indented line keeps its indent behind the #", lines({"  \t" + a}), a,
       lines({"#  \t" + a})},
      {"indented disabled line loses its indent", lines({"  #" + a}), a, lines({a})},
      {"disabled line that goes on after the text is enabled whole",
       lines({"#" + a + " # note"}), a, lines({a + " # note"})},
      {"a blank after # needs the blank in the text", lines({"# " + a}), a, std::nullopt},
      {"text with the blank enables it", lines({"# " + a}), " " + a, lines({" " + a})},
      // The line enabled by a text with a blank could not be disabled again by it.
      {"the same text with the blank disables it again", lines({" " + a}), " " + a,
       lines({"# " + a})},
      {"two identical lines are both switched", lines({a, b, a}), a,
       lines({"#" + a, b, "#" + a})},
      {"a last line without newline gets one", a + "\n" + b, b, lines({a, "#" + b})},
      {"no match leaves nothing to write", lines({a}), "alert", std::nullopt},
      {"a line holding a CR does not match", a + "\r\n", a, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(rules::toggledText(c.text, c.rule), c.expected);
  }
}

TEST(RuleTextTest, DeleteRemovesEnabledAndDisabledCopies) {
  const std::string a = kA;
  const std::string b = kB;
  // Only a "#" in first place is a comment mark: the indented copy stays.
  EXPECT_EQ(rules::deletedText(lines({a, "#" + b, "# " + a, "  # " + a, b}), a),
            lines({"#" + b, "  # " + a, b}));
  EXPECT_EQ(rules::deletedText(lines({a, "#" + b}), "#  " + b), lines({a}));
  EXPECT_EQ(rules::deletedText(a + "\n" + b, a), lines({b}));
  EXPECT_EQ(rules::deletedText(lines({a}), b), std::nullopt);
}

TEST(RuleTextTest, AppendNeverGluesOntoALastLineWithoutNewline) {
  EXPECT_EQ(rules::appendedText(std::string(kA) + "\n", kB), lines({kA, kB}));
  EXPECT_EQ(rules::appendedText(kA, kB), lines({kA, kB}));
  EXPECT_EQ(rules::appendedText("", kB), lines({kB}));
}

TEST(RuleTextTest, UpdateReplacesTheFirstOccurrenceUnlessTheLineWouldBreak) {
  const std::string a = kA;
  const std::string b = kB;
  const std::string c = "alert tcp any any -> any any (msg:\"c\"; sid:1; rev:1;)";
  struct Case {
    const char* name;
    std::string text;
    std::string oldRule;
    std::string newRule;
    rules::UpdateResult expected;
    std::string after;
  };
  const Case cases[] = {
      {"a part of a line is replaced", lines({a, b}), "msg:\"a\"", "msg:\"c\"",
       rules::UpdateResult::kUpdated, lines({c, b})},
      {"only the first copy changes, keeping its own sid", lines({a, a}), a, c,
       rules::UpdateResult::kUpdated, lines({c, a})},
      {"a sid no other line carries is free", lines({a, b}), "sid:1;", "sid:3;",
       rules::UpdateResult::kUpdated,
       lines({"alert tcp any any -> any any (msg:\"a\"; sid:3; rev:1;)", b})},
      {"a text not in the file", lines({a, b}), "msg:\"x\"", "msg:\"c\"",
       rules::UpdateResult::kNotFound, lines({a, b})},
      {"a line left without sid", lines({a, b}), "sid:1; ", "", rules::UpdateResult::kUnreadable,
       lines({a, b})},
      {"a line left without rev", lines({a, b}), " rev:1;", "", rules::UpdateResult::kUnreadable,
       lines({a, b})},
      {"taking the sid of another line", lines({a, b}), "sid:1;", "sid:2;",
       rules::UpdateResult::kSidInUse, lines({a, b})},
      // An old text spanning a line break joined the two lines around it.
      {"an old text across a line break", lines({a, b}), "rev:1;)\nalert", "x",
       rules::UpdateResult::kNotFound, lines({a, b})},
      {"an old text ending in a line break", lines({a, b}), a + "\n", b,
       rules::UpdateResult::kNotFound, lines({a, b})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = c.text;
    EXPECT_EQ(rules::updateText(text, c.oldRule, c.newRule), c.expected);
    EXPECT_EQ(text, c.after);
  }
}

}  // namespace
