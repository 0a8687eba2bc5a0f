// The rule reader against lines written as the rule updater and operators
// write them: fields, the option list, near misses that are no rules, and
// the rule object's JSON form.
#include "rules/RuleReader.h"

#include <gtest/gtest.h>
#include <json/writer.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "rules/RuleItem.h"

namespace {

constexpr char kRule[] =
    "alert tcp $HOME_NET any -> $EXTERNAL_NET any (msg:\"ET POLICY test\"; "
    "classtype:policy-violation; sid:2001; rev:3;)";

struct Read {
  std::string line;
  const char* action;
  const char* protocol;
  const char* classtype;
  uint32_t sid;
  uint32_t rev;
  const char* msg;
};

TEST(RuleReaderTest, ReadsTheFieldsFromTheOptions) {
  const Read cases[] = {
      {kRule, "alert", "tcp", "policy-violation", 2001, 3, "\"ET POLICY test\""},
      {"alert http $HOME_NET any -> $EXTERNAL_NET any (msg:\"ET ACTIVEX Vulnerable Microsoft "
       "Video ActiveX CLSID access (29)\"; flow:to_server,established; "
       "classtype:attempted-user; sid:2008123; rev:4;)",
       "alert", "http", "attempted-user", 2008123, 4,
       "\"ET ACTIVEX Vulnerable Microsoft Video ActiveX CLSID access (29)\""},
      {"alert http any any -> any any (msg:\"TGI HUNT Malicious admin:admin B64 String in "
       "HTTP\"; sid:3000001; rev:1;)",
       "alert", "http", "unlnown", 3000001, 1,
       "\"TGI HUNT Malicious admin:admin B64 String in HTTP\""},
      // Blanks around ":" and after "(" are not part of anything.
      {"alert tcp any any -> any any ( msg: \"ATTACK x\" ; classtype : bad-unknown ; sid : 5 ;)",
       "alert", "tcp", "bad-unknown", 5, 0, "\"ATTACK x\""},
      // Words inside quoted values are no options.
      {"alert tcp any any -> any any (msg:\"see sid:5; rev:9\"; content:\"sid:6\"; sid:10; "
       "rev:2;)",
       "alert", "tcp", "unlnown", 10, 2, "\"see sid:5; rev:9\""},
      // Escaped quotes, semicolons and backslashes, kept verbatim.
      {"alert tcp any any -> any any (msg:\"say \\\"hi\\\"; now\\\\\"; content:\"a\\;b\"; "
       "sid:3; rev:1;)",
       "alert", "tcp", "unlnown", 3, 1, "\"say \\\"hi\\\"; now\\\\\""},
      {"alert tcp any any -> any any (content:a\\;b; msg:x; sid:3;)", "alert", "tcp", "unlnown", 3,
       0, "x"},
      // A bundled decoder rule has no rev: revision 0.
      {"alert pkthdr any any -> any any (msg:\"SURICATA IPv4 unknown protocol\"; "
       "decode-event:ipv4.unknown_protocol; classtype:protocol-command-decode; sid:2200125;)",
       "alert", "pkthdr", "protocol-command-decode", 2200125, 0,
       "\"SURICATA IPv4 unknown protocol\""},
      // The first sid and rev that are numbers; the first msg and classtype.
      {"alert ip any any -> any any (msg:\"x\"; msg:\"y\"; classtype:a; classtype:b; sid:abc; "
       "sid:007; sid:8; rev:x; rev:4;)",
       "alert", "ip", "a", 7, 4, "\"x\""},
      {"drop udp any any -> any any (sid:000004294967295; rev:4294967295;)", "drop", "udp",
       "unlnown", 4294967295u, 4294967295u, "undefined"},
      // A last option without ";", white space after the ")".
      {"alert tcp any any -> any any (msg:\"x\"; sid:6)  \t", "alert", "tcp", "unlnown", 6, 0,
       "\"x\""},
      {"pass tcp any any -> any any (msg:\"\"; sid:6; rev:1;)\r", "pass", "tcp", "unlnown", 6, 1,
       "\"\""},
      // The header tokens as the front end has always read them.
      {"#alert\ttcp any (sid:4; rev:4;)", "alert\ttcp", "any", "unlnown", 4, 4, "undefined"},
      {"#  alert dns any any -> any any (sid:9;)", "alert", "dns", "unlnown", 9, 0, "undefined"},
  };
  for (const Read& c : cases) {
    SCOPED_TRACE(c.line);
    RuleView rule;
    ASSERT_TRUE(readRule(c.line, rule));
    EXPECT_EQ(rule.action, c.action);
    EXPECT_EQ(rule.protocol, c.protocol);
    EXPECT_EQ(rule.classtype, c.classtype);
    EXPECT_EQ(rule.sid, c.sid);
    EXPECT_EQ(rule.rev, c.rev);
    EXPECT_EQ(rule.msg, c.msg);
  }
}

TEST(RuleReaderTest, ContentAndStatusComeFromTheFirstCharacter) {
  const std::string rule = kRule;
  const struct {
    std::string line;
    std::string content;
    bool enabled;
  } cases[] = {
      {rule, rule, true},
      {"#" + rule, rule, false},
      {"# " + rule, " " + rule, false},
      {"##" + rule, "#" + rule, false},
      {"  #" + rule, "  #" + rule, true},
      {rule + "\r", rule + "\r", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    RuleView view;
    ASSERT_TRUE(readRule(c.line, view));
    EXPECT_EQ(view.content, c.content);
    EXPECT_EQ(view.enabled, c.enabled);
  }
}

TEST(RuleReaderTest, LinesWithoutAReadableSidAreNoRules) {
  const char* lines[] = {
      "",
      "#",
      "   ",
      "# This file is licensed under the GPLv2 (see LICENSE); version: 10604",
      "# Copyright (c) 2003-2024, the authors (sid: none)",
      "    sid:2001; rev:1;)",  // the tail of a continued rule, read alone
      "alert tcp any any -> any any msg:\"x\"; sid:1; rev:1;",  // no parenthesis
      "alert tcp any any -> any any (msg:\"x\"; rev:1;)",
      "alert tcp any any -> any any (msg:\"x\"; sid:4294967296; rev:1;)",
      "alert tcp any any -> any any (msg:\"x\"; sid:12a; rev:1;)",
      "alert tcp any any -> any any (msg:\"x\"; sid:-1; rev:1;)",
      "alert tcp any any -> any any (msg:\"x\"; sid:; rev:1;)",
      "alert tcp any any -> any any (msg:\"unterminated; sid:5; rev:1;)",
      "alert tcp any any -> any any (msg:\"a\\\"; sid:5; rev:1;)",  // the quote is escaped
      "alert tcp any any -> any any (msg:\"x\"; sid 5; rev:1;)",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    RuleView rule;
    EXPECT_FALSE(readRule(line, rule));
    EXPECT_FALSE(RuleItem::read(line).has_value());
  }
}

// The reader marks a line's options 64 bytes at a time, with the state of
// quotes, escapes and keywords carried from one block to the next. Each tail
// is read after fillers of every length up to three blocks, so that each of
// its bytes falls on every place of a block, a block's first and last
// included; its fields do not depend on where it falls.
TEST(RuleReaderTest, FieldsDoNotDependOnWhereTheyFallInTheLine) {
  const struct {
    const char* tail;
    uint32_t sid;
    uint32_t rev;
    const char* msg;
    const char* classtype;
  } tails[] = {
      {"msg:\"ET TROJAN Win32 (\\\"login\\\") admin:admin\"; classtype:trojan-activity; "
       "sid:2019; rev:6; metadata:created_at 2011_04_10;",
       2019, 6, "\"ET TROJAN Win32 (\\\"login\\\") admin:admin\"", "trojan-activity"},
      // Backslash runs: an even run leaves the quote after it closing.
      {"content:\"a\\\\\\\\\"; msg:\"m\"; sid:3;", 3, 0, "\"m\"", "unlnown"},
      {"content:\"a\\\\\\\"; sid:4\"; msg:\"n\"; sid:5;", 5, 0, "\"n\"", "unlnown"},
      {"content:\"scan|3b 20|18\\;x\"; pcre:\"/^\\/[a-z]{3,8}\\.php\\?id=\\d+(&|$)/Ui\"; "
       "sid:6; rev:1;",
       6, 1, "undefined", "unlnown"},
      {"content:a\\;sid:9; sid:7;", 7, 0, "undefined", "unlnown"},
      // Words in quoted values are no options.
      {"msg:\"see sid:5; rev:9\"; content:\"sid:6\"; sid:10; rev:2;", 10, 2, "\"see sid:5; rev:9\"",
       "unlnown"},
      // Blanks and tabs around keywords and values.
      {" \t msg : \"x y\" \t;\t classtype :\tbad-unknown ;   sid\t: 11 ; rev :3", 11, 3, "\"x y\"",
       "bad-unknown"},
      {";; ; :\"a;b\"; sid:12;", 12, 0, "undefined", "unlnown"},
      // A quote or a backslash in a keyword means nothing.
      {"fo\"o:1; sid:13; msg:\"q\";", 13, 0, "\"q\"", "unlnown"},
      {"x\\;sid:14;", 14, 0, "undefined", "unlnown"},
      {"\"x; sid:15;", 15, 0, "undefined", "unlnown"},
  };
  for (const auto& t : tails) {
    for (size_t filler = 0; filler < 3 * 64; ++filler) {
      const std::string line = "alert tcp any any -> any any (content:\"" +
                               std::string(filler, 'x') + "\"; " + t.tail + ")";
      SCOPED_TRACE(line);
      RuleView rule;
      ASSERT_TRUE(readRule(line, rule));
      EXPECT_EQ(rule.sid, t.sid);
      EXPECT_EQ(rule.rev, t.rev);
      EXPECT_EQ(rule.msg, t.msg);
      EXPECT_EQ(rule.classtype, t.classtype);
    }
  }
}

TEST(RuleReaderTest, OpenQuotesEndTheOptionsWhereverTheyFall) {
  const char* tails[] = {
      "msg:\"open; sid:5; rev:1;",
      "content:\"open\\\"; sid:5;",  // the last quote is escaped
      "content:\"x\"; msg:\"x\"y\"; sid:5;",
  };
  for (const char* tail : tails) {
    for (size_t filler = 0; filler < 3 * 64; ++filler) {
      const std::string line =
          "alert tcp any any -> any any (content:\"" + std::string(filler, 'x') + "\"; " + tail;
      SCOPED_TRACE(line);
      RuleView rule;
      EXPECT_FALSE(readRule(line, rule));
    }
  }
}

// Options beyond what the marks hold are read byte by byte, the same.
TEST(RuleReaderTest, ReadsRulesOfAnyLength) {
  for (const size_t size : {4000, 4096, 4100, 20000}) {
    const std::string line = "alert http any any -> any any (msg:\"long\"; content:\"" +
                             std::string(size, 'a') +
                             "\"; classtype:misc-activity; sid:42; rev:2;)";
    SCOPED_TRACE(size);
    RuleView rule;
    ASSERT_TRUE(readRule(line, rule));
    EXPECT_EQ(rule.sid, 42u);
    EXPECT_EQ(rule.rev, 2u);
    EXPECT_EQ(rule.msg, "\"long\"");
    EXPECT_EQ(rule.classtype, "misc-activity");
  }
}

// Each processor's way of finding a block's bytes gives the same bits.
TEST(RuleReaderTest, BlockBytesAreFoundAlikeEverywhere) {
  std::string block = "msg:\"a;b\"; content:\"x\\\"\"; \tsid:1;rev:2; pcre:\"/\\d+/\";        :\\;";
  ASSERT_EQ(block.size(), 64u);
  const option_bytes::BlockBytes found = option_bytes::byteByByte(block.data());
  // Written by hand from the text above: bit i is its byte i.
  const auto bits = [](std::initializer_list<int> places) {
    uint64_t set = 0;
    for (const int place : places) set |= uint64_t{1} << place;
    return set;
  };
  EXPECT_EQ(found.semicolons, bits({6, 9, 24, 32, 38, 52, 63}));
  EXPECT_EQ(found.stops, bits({3, 6, 9, 18, 24, 30, 32, 36, 38, 44, 52, 61, 63}));
  EXPECT_EQ(found.quotes, bits({4, 8, 19, 22, 23, 45, 51}));
  EXPECT_EQ(found.backslashes, bits({21, 47, 62}));
  EXPECT_EQ(found.blanks, bits({10, 25, 26, 39, 53, 54, 55, 56, 57, 58, 59, 60}));
  // And every variant alike on blocks of the bytes that matter.
  uint32_t random = 12345;
  const char alphabet[] = ";:\"\\ \ta(";
  for (int round = 0; round < 2000; ++round) {
    for (char& c : block) {
      random = random * 1103515245u + 12345u;
      c = alphabet[(random >> 16) % (sizeof alphabet - 1)];
    }
    const option_bytes::BlockBytes expected = option_bytes::byteByByte(block.data());
    std::vector<option_bytes::BlockBytes> variants;
#if defined(__x86_64__)
    variants.push_back(option_bytes::sse2(block.data()));
    if (option_bytes::hasAvx2()) variants.push_back(option_bytes::avx2(block.data()));
#endif
    for (const auto& variant : variants) {
      EXPECT_EQ(variant.semicolons, expected.semicolons);
      EXPECT_EQ(variant.stops, expected.stops);
      EXPECT_EQ(variant.quotes, expected.quotes);
      EXPECT_EQ(variant.backslashes, expected.backslashes);
      EXPECT_EQ(variant.blanks, expected.blanks);
    }
  }
}

TEST(RuleReaderTest, OptionsAreKeywordValuePairs) {
  using Options = std::vector<std::pair<std::string, std::string>>;
  const struct {
    const char* line;
    Options options;
  } cases[] = {
      {"alert tcp any any -> any any (msg:\"a (b) c: d; e\"; content:\"x\\\"y\"; nocase; "
       "pcre:\"/a;b/i\"; sid:1; rev:2;)",
       {{"msg", "\"a (b) c: d; e\""},
        {"content", "\"x\\\"y\""},
        {"nocase", ""},
        {"pcre", "\"/a;b/i\""},
        {"sid", "1"},
        {"rev", "2"}}},
      {"alert tcp (  msg : \"x\" ;;  flow:established ,to_server ; sid:1 )",
       {{"msg", "\"x\""}, {"flow", "established ,to_server"}, {"sid", "1"}}},
      {"alert tcp (a:\"x\\\\\"; b:y\\;z; c:\"\\;\")",
       {{"a", "\"x\\\\\""}, {"b", "y\\;z"}, {"c", "\"\\;\""}}},
      // Only the ")" that ends the line ends the options.
      {"alert tcp (a:b) c:d;)", {{"a", "b) c:d"}}},
      {"alert tcp (a:b; c:\"open; d:e;)", {{"a", "b"}}},
      {"alert tcp any any -> any any", {}},
      {"alert tcp ()", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    Options read;
    RuleOptions options(c.line);
    RuleOption option;
    while (options.next(option)) read.emplace_back(option.keyword, option.value);
    EXPECT_EQ(read, c.options);
  }
}

TEST(RuleReaderTest, TheEditsWriteOnlyWholeRulesWithANumericOrNoRev) {
  const struct {
    const char* line;
    bool readable;
  } cases[] = {
      {kRule, true},
      {"alert tcp any any -> any any (msg:\"x\"; sid:1;)", true},
      {"alert tcp any any -> any any (msg:\"x\"; sid:1; rev:x;)", false},
      {"alert tcp any any -> any any (msg:\"x\"; sid:1; rev:x; rev:2;)", true},
      {"alert tcp any any -> any any (msg:\"x\"; rev:1;)", false},
      // It would go on in the line after it.
      {"alert tcp any any -> any any (msg:\"x\"; sid:1; \\", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(RuleItem::readable(c.line), c.readable);
  }
}

TEST(RuleReaderTest, RuleObjectListsMembersInKeyOrder) {
  const Json::Value rule = RuleItem::read(std::string("#") + kRule)->toJson();
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
