// Rule queries over small rules files: paging, filters and bad lines.
#include "rules/RulesFile.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <fstream>
#include <stdexcept>

namespace {

class RulesFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "rules_queries_XXXXXX";
    const int fd = mkstemp(path_.data());
    ASSERT_GE(fd, 0);
    close(fd);
  }
  void TearDown() override { unlink(path_.c_str()); }

  void write(const std::string& text) { std::ofstream(path_, std::ios::trunc) << text; }

  // Rules with sids 1..count, odd ones disabled, even ones udp.
  void writeNumbered(int count) {
    std::string text;
    for (int sid = 1; sid <= count; ++sid) {
      text += std::string(sid % 2 ? "#" : "") + (sid % 3 ? "alert " : "drop ") +
              (sid % 2 ? "tcp" : "udp") + " any any -> any any (msg:\"n" + std::to_string(sid) +
              "\"; sid:" + std::to_string(sid) + "; rev:1;)\n";
    }
    write(text);
  }

  static std::vector<uint32_t> sids(const std::vector<RuleItem>& rules) {
    std::vector<uint32_t> result;
    for (const RuleItem& rule : rules) result.push_back(rule.sid);
    return result;
  }

  std::string path_;
};

using Sids = std::vector<uint32_t>;

TEST_F(RulesFileTest, PagesAreCutFromTheMatchesInFileOrder) {
  writeNumbered(12);
  EXPECT_EQ(sids(rules::getRules(path_, 1, 10)), (Sids{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(sids(rules::getRules(path_, 2, 3)), (Sids{4, 5, 6}));
  EXPECT_EQ(sids(rules::getRules(path_, 2, 10)), (Sids{11, 12}));
  EXPECT_EQ(sids(rules::getRules(path_, 5, 3)), Sids{});
  EXPECT_EQ(sids(rules::getRulesByStatus(path_, true, 1, 3)), (Sids{2, 4, 6}));
  EXPECT_EQ(sids(rules::getRulesByStatus(path_, false, 2, 4)), (Sids{9, 11}));
  EXPECT_EQ(sids(rules::getRulesByAction(path_, "drop", 1, 10)), (Sids{3, 6, 9, 12}));
  EXPECT_EQ(sids(rules::getRulesByProtocol(path_, "udp", 2, 2)), (Sids{6, 8}));
  EXPECT_EQ(sids(rules::getRulesBySignature(path_, "msg:\"n1", 1, 10)), (Sids{1, 10, 11, 12}));
  EXPECT_EQ(sids(rules::getRulesBySignature(path_, "MSG", 1, 10)), Sids{});
  RuleSearch search;
  search.action = "alert";
  search.protocol = "tcp";
  EXPECT_EQ(sids(rules::searchRules(path_, search, 1, 10)), (Sids{1, 5, 7, 11}));
  search.status = "disabled";
  EXPECT_EQ(sids(rules::searchRules(path_, search, 2, 3)), (Sids{11}));
  search.status = "enabled";
  EXPECT_EQ(sids(rules::searchRules(path_, search, 1, 10)), Sids{});
}

TEST_F(RulesFileTest, SignatureMatchesAnyPlaceOfTheRuleText) {
  writeNumbered(12);
  const std::pair<std::string, Sids> cases[] = {
      {"drop", {3, 6, 9, 12}},  // at the start
      {"sid:12;", {12}},
      {"n12\"; sid:12; rev:1;)", {12}},                   // longer than 16, at the end
      {"alert tcp any any -> any any (msg:\"n1\"", {1}},  // longer than 16, at the start
      {";)", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},            // the last two bytes
      {"u", {2, 4, 6, 8, 10, 12}},                        // in "udp" only
      {"#", {}},                                          // not part of the rule text
      {"n13", {}},
      {"rev:1;))", {}},  // one byte past the end
  };
  for (const auto& [signature, expected] : cases) {
    EXPECT_EQ(sids(rules::getRulesBySignature(path_, signature, 1, 10)), expected) << signature;
  }
}

TEST_F(RulesFileTest, PageArithmeticDoesNotOverflow) {
  writeNumbered(3);
  const std::pair<int, int> pages[] = {
      {INT_MAX, INT_MAX}, {INT_MAX, 2}, {2, INT_MAX}, {65536, 65536}, {INT_MAX, 1}};
  for (const auto& [page, size] : pages) {
    SCOPED_TRACE(std::to_string(page) + " x " + std::to_string(size));
    EXPECT_EQ(sids(rules::getRules(path_, page, size)), Sids{});
    EXPECT_EQ(sids(rules::getRulesByStatus(path_, false, page, size)), Sids{});
  }
  EXPECT_EQ(sids(rules::getRules(path_, 1, INT_MAX)), (Sids{1, 2, 3}));
}

TEST_F(RulesFileTest, PagesBelowOneAreRejectedBeforeTheFileIsRead) {
  for (const auto& [page, size] : {std::pair{0, 10}, {1, 0}, {-1, 10}, {INT_MIN, INT_MIN}}) {
    try {
      rules::getRulesByAction("/nonexistent/rules", "alert", page, size);
      ADD_FAILURE() << page << " " << size;
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), "Invalid pagination parameters");
    }
  }
  EXPECT_THROW(rules::getRules(path_, 0, 1), std::invalid_argument);
}

// A blank line, a note, a sid beyond 32 bits are no rules: every query
// passes over them, and counts only the rules.
TEST_F(RulesFileTest, LinesThatAreNoRulesArePassedOverByEveryQuery) {
  write(
      "# licence: see (LICENSE)\n"
      "alert tcp any any -> any any (sid:1; rev:1;)\n"
      "alert tcp any any -> any any (sid:2; rev:1;)\n"
      "\n"
      "alert tcp any any -> any any (sid:4294967296; rev:1;)\n"
      "alert udp any any -> any any (sid:3; rev:1;)");
  uint64_t total = 0;
  EXPECT_EQ(sids(rules::getRules(path_, 1, 10, &total)), (Sids{1, 2, 3}));
  EXPECT_EQ(total, 3u);
  EXPECT_EQ(sids(rules::getRulesByProtocol(path_, "tcp", 1, 10, &total)), (Sids{1, 2}));
  EXPECT_EQ(total, 2u);
  EXPECT_EQ(sids(rules::getRulesBySignature(path_, "licence", 1, 10)), Sids{});
  EXPECT_EQ(sids(rules::getDuplicatedRulesBySid(path_, "0", 1, 10)), Sids{});
  EXPECT_EQ(rules::getRuleBySid(path_, 3)["protocol"].asString(), "udp");
  EXPECT_TRUE(rules::getRuleBySid(path_, 4).isNull());
}

TEST_F(RulesFileTest, DuplicatesReadTheSidWithAutomaticBase) {
  write(
      "alert tcp any any -> any any (sid:16; rev:1;)\n"
      "alert tcp any any -> any any (sid:8; rev:1;)\n"
      "#alert udp any any -> any any (sid:16; rev:2;)\n");
  EXPECT_EQ(sids(rules::getDuplicatedRulesBySid(path_, "0x10", 1, 10)), (Sids{16, 16}));
  EXPECT_EQ(sids(rules::getDuplicatedRulesBySid(path_, "010", 1, 10)), (Sids{8}));
  EXPECT_EQ(sids(rules::getDuplicatedRulesBySid(path_, " 16abc", 2, 1)), (Sids{16}));
  EXPECT_EQ(sids(rules::getDuplicatedRulesBySid(path_, "4294967312", 1, 10)), Sids{});
  EXPECT_THROW(rules::getDuplicatedRulesBySid(path_, "abc", 1, 10), std::invalid_argument);
  EXPECT_THROW(rules::getDuplicatedRulesBySid(path_, "99999999999999999999", 1, 10),
               std::out_of_range);
  // The number is only read once a line has parsed.
  write("");
  EXPECT_EQ(sids(rules::getDuplicatedRulesBySid(path_, "abc", 1, 10)), Sids{});
}

TEST_F(RulesFileTest, MissingFileIsReported) {
  unlink(path_.c_str());
  EXPECT_THROW(rules::getRules(path_, 1, 10), RulesException);
  EXPECT_THROW(rules::getRuleBySid(path_, 1), RulesException);
  EXPECT_THROW(rules::searchRules(path_, RuleSearch{}, 1, 10), RulesException);
}

}  // namespace
