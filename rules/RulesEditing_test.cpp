// The text transforms behind the rule edits and the category switches,
// checked byte for byte.
#include "rules/Rules.h"

#include <gtest/gtest.h>

#include <json/writer.h>

namespace {

constexpr char kA[] = "alert tcp any any -> any any (msg:\"a\"; sid:1; rev:1;)";
constexpr char kB[] = "drop udp any any -> any any (msg:\"b\"; sid:2; rev:1;)";

std::string lines(std::initializer_list<std::string> parts) {
  std::string text;
  for (const std::string& part : parts) text += part + "\n";
  return text;
}

TEST(RulesEditingTest, ToggleSwitchesEveryMatchingLine) {
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
    EXPECT_EQ(Rules::toggledText(c.text, c.rule), c.expected);
  }
}

TEST(RulesEditingTest, DeleteRemovesEnabledAndDisabledCopies) {
  const std::string a = kA;
  const std::string b = kB;
  // Only a "#" in first place is a comment mark: the indented copy stays.
  EXPECT_EQ(Rules::deletedText(lines({a, "#" + b, "# " + a, "  # " + a, b}), a),
            lines({"#" + b, "  # " + a, b}));
  EXPECT_EQ(Rules::deletedText(lines({a, "#" + b}), "#  " + b), lines({a}));
  EXPECT_EQ(Rules::deletedText(a + "\n" + b, a), lines({b}));
  EXPECT_EQ(Rules::deletedText(lines({a}), b), std::nullopt);
}

TEST(RulesEditingTest, AppendNeverGluesOntoALastLineWithoutNewline) {
  EXPECT_EQ(Rules::appendedText(std::string(kA) + "\n", kB), lines({kA, kB}));
  EXPECT_EQ(Rules::appendedText(kA, kB), lines({kA, kB}));
  EXPECT_EQ(Rules::appendedText("", kB), lines({kB}));
}

TEST(RulesEditingTest, UpdateReplacesTheFirstOccurrenceOnly) {
  const std::string a = kA;
  const std::string b = kB;
  EXPECT_EQ(Rules::updatedText(lines({a, b, a}), "sid:1;", "sid:9;"),
            lines({"alert tcp any any -> any any (msg:\"a\"; sid:9; rev:1;)", b, a}));
  EXPECT_EQ(Rules::updatedText(lines({a}), b, a), std::nullopt);
}

// An old text spanning a newline joined the two lines around it into one rule.
TEST(RulesEditingTest, UpdateWithAnOldTextHoldingANewlineFindsNothing) {
  const std::string a = kA;
  const std::string b = kB;
  EXPECT_EQ(Rules::updatedText(lines({a, b}), "rev:1;)\ndrop", "x"), std::nullopt);
  EXPECT_EQ(Rules::updatedText(lines({a, b}), a + "\n", b), std::nullopt);
}

const std::string kSocialOn = "drop dns any any -> any any (msg:\"social media x\"; sid:1; rev:1;)";
const std::string kPornOff = "#drop dns any any -> any any (msg:\"porn media x\"; sid:2; rev:1;)";
const std::string kFakeOn = "drop dns any any -> any any (msg:\"fakenews media\"; sid:3; rev:1;)";
const std::string kGamblingOff = "##drop dns any (msg:\"gambling media\"; sid:4; rev:1;)";
const std::string kUniversalOn = "drop dns any any (msg:\"universal media\"; sid:5; rev:1;)";
const std::string kNoCategory = "drop dns any any (msg:\"other\"; sid:6; rev:1;)";
const std::string kNotDns = "alert tcp any any (msg:\"social media\"; sid:7; rev:1;)";

TEST(RulesCategoriesTest, StatusListsDropDnsLinesInFileOrder) {
  const std::string text = lines({kSocialOn, kPornOff, kNotDns, kFakeOn, kGamblingOff,
                                  kUniversalOn}) + kNoCategory;
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  EXPECT_EQ(Json::writeString(writer, Rules::additionalRuleStatusOf(text)),
            "[{\"status\":true,\"title\":\"social\"},{\"status\":false,\"title\":\"porno\"},"
            "{\"status\":true,\"title\":\"fakenews\"},{\"status\":false,\"title\":\"gambling\"},"
            "{\"status\":true,\"title\":\"universal\"},{\"status\":true,\"title\":\"\"}]");
  EXPECT_TRUE(Rules::additionalRuleStatusOf(lines({kNotDns})).isNull());
  EXPECT_TRUE(Rules::additionalRuleStatusOf("").isNull());
}

TEST(RulesCategoriesTest, UpdateSwitchesOnlyLinesNotInTheWantedState) {
  const std::string text = lines({kSocialOn, kPornOff, kFakeOn, kGamblingOff, kUniversalOn,
                                  kNoCategory}) + kNotDns;
  RuleUpdateData allOn;
  allOn.social = allOn.porno = allOn.fakenews = allOn.gambling = allOn.universal = true;
  // The double "#" loses one and stays disabled; the non-DNS social line is
  // switched too, since the update does not look for "drop dns".
  EXPECT_EQ(Rules::categoriesApplied(text, allOn),
            lines({kSocialOn, kPornOff.substr(1), kFakeOn, kGamblingOff.substr(1), kUniversalOn,
                   kNoCategory, kNotDns}));
  EXPECT_EQ(Rules::categoriesApplied(text, RuleUpdateData{}),
            lines({"#" + kSocialOn, kPornOff, "#" + kFakeOn, kGamblingOff, "#" + kUniversalOn,
                   kNoCategory, "#" + kNotDns}));
  RuleUpdateData onlyPorno;
  onlyPorno.porno = true;
  // A line naming two categories belongs to the one tested first (fakenews before porn).
  const std::string both = "#drop dns (msg:\"porn media fakenews media\"; sid:8; rev:1;)";
  EXPECT_EQ(Rules::categoriesApplied(both, onlyPorno), both + "\n");
}

}  // namespace
