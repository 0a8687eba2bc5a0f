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
    std::optional<std::string> expected;  // nothing: no line matched
  };
  const Case cases[] = {
      {"enabled line is commented out", lines({a, b}), a, lines({"#" + a, b})},
      {"disabled line is enabled", lines({"#" + a, b}), a, lines({a, b})},
      {"indented line keeps its indent behind the #", lines({"  \t" + a}), a, lines({"#  \t" + a})},
      {"indented disabled line loses its indent", lines({"  #" + a}), a, lines({a})},
      {"indented disabled line loses the blanks after its #", lines({"  # \t" + a}), " \t" + a,
       lines({a})},
      {"disabled line that goes on after the text is enabled whole", lines({"#" + a + " # note"}),
       a, lines({a + " # note"})},
      {"a blank after # needs the blank in the text", lines({"# " + a}), a, std::nullopt},
      // The listing shows "# rule" with the blank; enabled, the line starts
      // with its action, and the listing's new content disables it again.
      {"text with the blank enables it without the blank", lines({"# " + a}), " " + a, lines({a})},
      {"the whole line as text enables it too", lines({"#  " + a}), "#  " + a, lines({a})},
      {"an indented enabled line keeps its indent", lines({" " + a}), " " + a, lines({"# " + a})},
      {"two identical lines are both switched", lines({a, b, a}), a, lines({"#" + a, b, "#" + a})},
      {"a last line without newline gets one", a + "\n" + b, b, lines({a, "#" + b})},
      {"no match leaves nothing to write", lines({a}), "alert", std::nullopt},
      {"blank lines around it stay", lines({"", a, ""}), a, lines({"", "#" + a, ""})},
      {"a line holding a CR does not match", a + "\r\n", a, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const rules::EditedText toggled = rules::toggledText(c.text, c.rule);
    EXPECT_EQ(toggled.result,
              c.expected ? rules::EditResult::kChanged : rules::EditResult::kNoMatch);
    if (c.expected) {
      EXPECT_EQ(toggled.text, *c.expected);
    }
  }
}

// A rule written over several lines is named by its joined text: the toggle
// and the delete work on all of its lines, a part of one is refused, and the
// lines around it stay byte for byte.
TEST(RuleTextTest, ContinuedRulesAreEditedWhole) {
  const std::string head = "alert tcp any any -> any any (msg:\"c\"; \\";
  const std::string tail = "    sid:3; rev:1;)";
  const std::string joined = "alert tcp any any -> any any (msg:\"c\";     sid:3; rev:1;)";
  const std::string note = "# keep me\r";
  const std::string file = lines({note, head, tail, kB});
  struct Case {
    const char* name;
    std::string text;
    std::string rule;
    rules::EditResult result;
    std::string after;
  };
  const Case toggles[] = {
      {"disabled on its first line", file, joined, rules::EditResult::kChanged,
       lines({note, "#" + head, tail, kB})},
      {"enabled again", lines({note, "# " + head, tail, kB}), " " + joined,
       rules::EditResult::kChanged, file},
      {"a line of it is refused", file, tail, rules::EditResult::kFragment, ""},
      {"its first line too", file, head, rules::EditResult::kFragment, ""},
      // A first line of only blanks and the backslash, the "#" on the next:
      // enabling would have taken the backslash and split the rule.
      {"its \"#\" on a later line", lines({" \\", "#" + head, tail}), "alert",
       rules::EditResult::kFragment, ""},
  };
  for (const Case& c : toggles) {
    SCOPED_TRACE(c.name);
    const rules::EditedText toggled = rules::toggledText(c.text, c.rule);
    EXPECT_EQ(toggled.result, c.result);
    EXPECT_EQ(toggled.text, c.after);
  }
  const Case deletes[] = {
      {"all of its lines go", file, joined, rules::EditResult::kChanged, lines({note, kB})},
      {"disabled, by the listed content", lines({"#" + head, tail}), joined,
       rules::EditResult::kChanged, ""},
      {"a line of it is refused", file, tail, rules::EditResult::kFragment, ""},
  };
  for (const Case& c : deletes) {
    SCOPED_TRACE(c.name);
    const rules::EditedText kept = rules::deletedText(c.text, c.rule);
    EXPECT_EQ(kept.result, c.result);
    EXPECT_EQ(kept.text, c.after);
  }
  const struct {
    const char* name;
    std::string oldRule;
    std::string newRule;
    rules::UpdateResult result;
    std::string after;
  } updates[] = {
      {"the joined text becomes one line", joined, kA, rules::UpdateResult::kUpdated,
       lines({note, kA, kB})},
      {"a part of the joined text", "sid:3; rev:1;", "sid:3; rev:2;", rules::UpdateResult::kUpdated,
       lines({note, "alert tcp any any -> any any (msg:\"c\";     sid:3; rev:2;)", kB})},
      {"a text only a line of it holds", "\"c\"; \\", "\"d\";", rules::UpdateResult::kFragment,
       file},
  };
  for (const auto& c : updates) {
    SCOPED_TRACE(c.name);
    std::string text = file;
    EXPECT_EQ(rules::updateText(text, c.oldRule, c.newRule), c.result);
    EXPECT_EQ(text, c.after);
  }
}

// Lines that are no rules keep their bytes, and their own line ends, around
// every edit; none of them counts for a sid.
TEST(RuleTextTest, LinesThatAreNoRulesStayAsTheyWere) {
  const std::string a = kA;
  const std::string crlf = lines({"# licence (c)\r", "\r", a + "\r", "alert (sid:99999999999;)"});
  const rules::EditedText toggled = rules::toggledText(crlf, a + "\r");
  EXPECT_EQ(toggled.text,
            lines({"# licence (c)\r", "\r", "#" + a + "\r", "alert (sid:99999999999;)"}));
  std::string updated = crlf;
  EXPECT_EQ(rules::updateText(updated, a, kB + 1), rules::UpdateResult::kUpdated);
  EXPECT_EQ(updated, lines({"# licence (c)\r", "\r", std::string(kB + 1) + "\r",
                            "alert (sid:99999999999;)"}));
  EXPECT_FALSE(rules::hasRuleWithSid(crlf, 4294967295u));
  EXPECT_TRUE(rules::hasRuleWithSid(crlf, 1));
  EXPECT_FALSE(rules::hasRuleWithSid(crlf, 1, crlf.find(a)));
}

TEST(RuleTextTest, ToggleCommentEnablesALineAsTheLoaderReadsIt) {
  const struct {
    const char* line;
    const char* toggled;
  } cases[] = {
      {"", "#"},
      {"#drop dns x", "drop dns x"},
      {"# \tdrop dns x", "drop dns x"},
      {"##drop dns x", "#drop dns x"},
      {"drop dns x", "#drop dns x"},
      {" drop dns x", "# drop dns x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(rules::toggleComment(c.line), c.toggled);
  }
}

TEST(RuleTextTest, DeleteRemovesEnabledAndDisabledCopies) {
  const std::string a = kA;
  const std::string b = kB;
  // Only a "#" in first place is a comment mark: the indented copy stays.
  EXPECT_EQ(rules::deletedText(lines({a, "#" + b, "# " + a, "  # " + a, b}), a).text,
            lines({"#" + b, "  # " + a, b}));
  EXPECT_EQ(rules::deletedText(lines({a, "#" + b}), "#  " + b).text, lines({a}));
  EXPECT_EQ(rules::deletedText(a + "\n" + b, a).text, lines({b}));
  EXPECT_EQ(rules::deletedText(lines({a}), b).result, rules::EditResult::kNoMatch);
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
      // Without a rev the rule has revision 0, as the bundled decoder rules.
      {"a line left without rev", lines({a, b}), " rev:1;", "", rules::UpdateResult::kUpdated,
       lines({"alert tcp any any -> any any (msg:\"a\"; sid:1;)", b})},
      {"a rev that is no number", lines({a, b}), "rev:1;", "rev:x;",
       rules::UpdateResult::kUnreadable, lines({a, b})},
      {"a line that would go on in the next", lines({a, b}), ";)", "; \\",
       rules::UpdateResult::kUnreadable, lines({a, b})},
      {"a sid above 32 bits", lines({a, b}), "sid:1;", "sid:4294967296;",
       rules::UpdateResult::kUnreadable, lines({a, b})},
      // The sid is a number: written with a leading zero it is still taken.
      {"taking another sid written otherwise", lines({a, b}), "sid:1;", "sid:02;",
       rules::UpdateResult::kSidInUse, lines({a, b})},
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
