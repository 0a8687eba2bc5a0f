// The category status and switches of the additional rules file, checked
// byte for byte.
#include "rules/AdditionalRules.h"

#include <gtest/gtest.h>
#include <json/writer.h>

namespace {

std::string lines(std::initializer_list<std::string> parts) {
  std::string text;
  for (const std::string& part : parts) text += part + "\n";
  return text;
}

const std::string kSocialOn = "drop dns any any -> any any (msg:\"social media x\"; sid:1; rev:1;)";
const std::string kPornOff = "#drop dns any any -> any any (msg:\"porn media x\"; sid:2; rev:1;)";
const std::string kFakeOn = "drop dns any any -> any any (msg:\"fakenews media\"; sid:3; rev:1;)";
const std::string kGamblingOff = "##drop dns any (msg:\"gambling media\"; sid:4; rev:1;)";
const std::string kUniversalOn = "drop dns any any (msg:\"universal media\"; sid:5; rev:1;)";
const std::string kNoCategory = "drop dns any any (msg:\"other\"; sid:6; rev:1;)";
const std::string kNotDns = "alert tcp any any (msg:\"social media\"; sid:7; rev:1;)";

TEST(AdditionalRulesTest, StatusListsDropDnsLinesInFileOrder) {
  const std::string text =
      lines({kSocialOn, kPornOff, kNotDns, kFakeOn, kGamblingOff, kUniversalOn}) + kNoCategory;
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  EXPECT_EQ(Json::writeString(writer, rules::additionalRuleStatusOf(text)),
            "[{\"status\":true,\"title\":\"social\"},{\"status\":false,\"title\":\"porno\"},"
            "{\"status\":true,\"title\":\"fakenews\"},{\"status\":false,\"title\":\"gambling\"},"
            "{\"status\":true,\"title\":\"universal\"},{\"status\":true,\"title\":\"\"}]");
  EXPECT_TRUE(rules::additionalRuleStatusOf(lines({kNotDns})).isNull());
  EXPECT_TRUE(rules::additionalRuleStatusOf("").isNull());
}

TEST(AdditionalRulesTest, UpdateSwitchesOnlyLinesNotInTheWantedState) {
  const std::string text =
      lines({kSocialOn, kPornOff, kFakeOn, kGamblingOff, kUniversalOn, kNoCategory}) + kNotDns;
  RuleUpdateData allOn;
  allOn.social = allOn.porno = allOn.fakenews = allOn.gambling = allOn.universal = true;
  // The double "#" loses one and stays disabled; the non-DNS social line is
  // switched too, since the update does not look for "drop dns".
  EXPECT_EQ(rules::categoriesApplied(text, allOn),
            lines({kSocialOn, kPornOff.substr(1), kFakeOn, kGamblingOff.substr(1), kUniversalOn,
                   kNoCategory, kNotDns}));
  EXPECT_EQ(rules::categoriesApplied(text, RuleUpdateData{}),
            lines({"#" + kSocialOn, kPornOff, "#" + kFakeOn, kGamblingOff, "#" + kUniversalOn,
                   kNoCategory, "#" + kNotDns}));
  RuleUpdateData onlyPorno;
  onlyPorno.porno = true;
  // A line naming two categories belongs to the one tested first (fakenews before porn).
  const std::string both = "#drop dns (msg:\"porn media fakenews media\"; sid:8; rev:1;)";
  EXPECT_EQ(rules::categoriesApplied(both, onlyPorno), both + "\n");
}

}  // namespace
