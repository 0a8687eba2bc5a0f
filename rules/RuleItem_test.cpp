// Parsing of rule lines into RuleItem and the rule object's JSON form.
#include "rules/RuleItem.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include <json/writer.h>

namespace {

constexpr char kRule[] =
    "alert tcp $HOME_NET any -> $EXTERNAL_NET any (msg:\"ET POLICY test\"; "
    "classtype:policy-violation; sid:2001; rev:3;)";

struct Parsed {
  const char* line;
  const char* content;
  const char* action;
  const char* protocol;
  const char* classtype;
  uint32_t sid;
  uint32_t rev;
  const char* msg;
  bool enabled;
};

TEST(RuleItemTest, ParsesFieldsByPositionAndKeyword) {
  const std::string disabled = std::string("#") + kRule;
  const std::string disabledWithBlank = std::string("# ") + kRule;
  const Parsed cases[] = {
      {kRule, kRule, "alert", "tcp", "policy-violation", 2001, 3, "\"ET POLICY test\"", true},
      // A leading "#" disables the rule and is a delimiter for the fields.
      {disabled.c_str(), kRule, "alert", "tcp", "policy-violation", 2001, 3,
       "\"ET POLICY test\"", false},
      {disabledWithBlank.c_str(), disabledWithBlank.c_str() + 1, "alert", "tcp",
       "policy-violation", 2001, 3, "\"ET POLICY test\"", false},
      // Blanks before the "#" keep the line enabled.
      {"  #drop udp any any -> any any (sid:1; rev:1;)",
       "  #drop udp any any -> any any (sid:1; rev:1;)", "drop", "udp", "unlnown", 1, 1,
       "undefined", true},
      // The first sid followed by digits counts; leading zeros are read away.
      {"alert ip any any -> any any (msg:\"x\"; sid:abc; sid:7; rev:007;)",
       "alert ip any any -> any any (msg:\"x\"; sid:abc; sid:7; rev:007;)", "alert", "ip",
       "unlnown", 7, 7, "\"x\"", true},
      // The word sid inside the message, followed by a number, wins.
      {"alert tcp any any -> any any (msg:\"see sid 5 now\"; sid:9; rev:1;)",
       "alert tcp any any -> any any (msg:\"see sid 5 now\"; sid:9; rev:1;)", "alert", "tcp",
       "unlnown", 5, 1, "\"see sid 5 now\"", true},
      // A blank before msg hides it; a ";" in the message text cuts it.
      {"alert tcp any any -> any any ( msg:\"x\"; sid:2; rev:2;)",
       "alert tcp any any -> any any ( msg:\"x\"; sid:2; rev:2;)", "alert", "tcp", "unlnown", 2,
       2, "undefined", true},
      {"alert tcp any any -> any any (msg:\"a;b\"; sid:2; rev:2;)",
       "alert tcp any any -> any any (msg:\"a;b\"; sid:2; rev:2;)", "alert", "tcp", "unlnown", 2,
       2, "\"a", true},
      // Tab is no delimiter.
      {"alert\ttcp any (sid:4; rev:4;)", "alert\ttcp any (sid:4; rev:4;)", "alert\ttcp", "any",
       "unlnown", 4, 4, "undefined", true},
      {"sid:2147483647 rev:0", "sid:2147483647 rev:0", "sid", "2147483647", "unlnown",
       2147483647u, 0, "undefined", true},
  };
  for (const Parsed& c : cases) {
    SCOPED_TRACE(c.line);
    const RuleItem item = RuleItem::parse(c.line);
    EXPECT_EQ(item.content, c.content);
    EXPECT_EQ(item.action, c.action);
    EXPECT_EQ(item.protocol, c.protocol);
    EXPECT_EQ(item.classtype, c.classtype);
    EXPECT_EQ(item.sid, c.sid);
    EXPECT_EQ(item.rev, c.rev);
    EXPECT_EQ(item.msg, c.msg);
    EXPECT_EQ(item.enabled, c.enabled);
  }
}

TEST(RuleItemTest, LinesWithoutNumericSidOrRevFailWithStoi) {
  struct Bad {
    const char* line;
    bool outOfRange;
  };
  const Bad cases[] = {
      {"", false},
      {"#", false},
      {" .,;:!()#", false},
      {"# just a comment", false},
      {"alert", false},
      {"alert tcp any any -> any any (msg:\"x\"; rev:1;)", false},
      {"alert tcp any any -> any any (sid:1;)", false},
      {"alert tcp any any -> any any (sid:1; rev:x1;)", false},
      {"alert tcp any any -> any any (sid:1; rev)", false},
      {"alert tcp any any -> any any (sid:2147483648; rev:1;)", true},
      {"alert tcp any any -> any any (sid:1; rev:99999999999;)", true},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.line);
    try {
      RuleItem::parse(c.line);
      ADD_FAILURE() << "parsed";
    } catch (const std::out_of_range& e) {
      EXPECT_TRUE(c.outOfRange);
      EXPECT_STREQ(e.what(), "stoi");
    } catch (const std::invalid_argument& e) {
      EXPECT_FALSE(c.outOfRange);
      EXPECT_STREQ(e.what(), "stoi");
    }
  }
}

TEST(RuleItemTest, RuleObjectListsMembersInKeyOrder) {
  const Json::Value rule = RuleItem::parse(std::string("#") + kRule).toJson();
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  EXPECT_EQ(Json::writeString(writer, rule),
            "{\"action\":\"alert\",\"classtype\":\"policy-violation\",\"content\":\"alert tcp "
            "$HOME_NET any -> $EXTERNAL_NET any (msg:\\\"ET POLICY test\\\"; "
            "classtype:policy-violation; sid:2001; rev:3;)\",\"enabled\":false,"
            "\"msg\":\"\\\"ET POLICY test\\\"\",\"protocol\":\"tcp\",\"rev\":3,\"sid\":2001}");
  EXPECT_TRUE(rule["sid"].isUInt());
}

}  // namespace
