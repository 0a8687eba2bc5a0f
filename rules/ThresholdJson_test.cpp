// Threshold entries from request bodies and into the listing's JSON.
#include "rules/ThresholdJson.h"

#include <gtest/gtest.h>

#include "common/JsonBody.h"

namespace {

using threshold::Entry;
using threshold::Kind;

Json::Value parsed(const std::string& text) {
  const std::optional<Json::Value> value = json_body::read(text);
  EXPECT_TRUE(value.has_value()) << text;
  return value.value_or(Json::Value());
}

TEST(ThresholdJsonTest, BodiesGiveTheEntriesTheyDescribe) {
  struct Case {
    const char* body;
    const char* line;  // the entry, as its written line
  };
  const Case cases[] = {
      {R"({"sig_id": 2013028, "gen_id": 1, "track": "by_src", "ip": "10.0.0.5"})",
       "suppress gen_id 1, sig_id 2013028, track by_src, ip 10.0.0.5"},
      {R"({"sig_id": 2013028})", "suppress gen_id 1, sig_id 2013028"},
      {R"({"sig_id": "2013028", "gen_id": "3"})", "suppress gen_id 3, sig_id 2013028"},
      {R"({"sig_id": 5, "track": null, "ip": null})", "suppress gen_id 1, sig_id 5"},
      {R"({"kind": "threshold", "sig_id": 5, "type": "limit", "track": "by_dst", "count": 1,
           "seconds": 60})",
       "threshold gen_id 1, sig_id 5, type limit, track by_dst, count 1, seconds 60"},
      {R"({"kind": "rate_filter", "sig_id": 888, "track": "by_src", "count": 10, "seconds": 60,
           "new_action": "drop", "timeout": 300})",
       "rate_filter gen_id 1, sig_id 888, track by_src, count 10, seconds 60, new_action drop, "
       "timeout 300"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    EXPECT_EQ(threshold::writeLine(threshold::entryFromJson(parsed(c.body))), c.line);
  }
}

TEST(ThresholdJsonTest, BodiesThatDescribeNoWritableEntryAreRefusedWithTheReason) {
  struct Case {
    const char* body;
    const char* reason;
  };
  const Case cases[] = {
      {"[]", "The body must be a JSON object"},
      {R"({})", "sig_id is required"},
      {R"({"sid": 5})", "Unknown member \"sid\""},
      {R"({"sig_id": -1})", "sig_id must be an unsigned 32-bit number"},
      {R"({"sig_id": 4294967296})", "sig_id must be an unsigned 32-bit number"},
      {R"({"sig_id": 5.0})", "sig_id must be an unsigned 32-bit number"},
      {R"({"sig_id": "5 "})", "sig_id must be an unsigned 32-bit number"},
      {R"({"sig_id": "0x10"})", "sig_id must be an unsigned 32-bit number"},
      {R"({"sig_id": "4294967296"})", "sig_id must be an unsigned 32-bit number"},
      {R"({"sig_id": true})", "sig_id must be an unsigned 32-bit number"},
      {R"({"sig_id": 5, "gen_id": "one"})", "gen_id must be an unsigned 32-bit number"},
      {R"({"sig_id": 5, "gen_id": 0})", "a sig_id above 0 needs a gen_id above 0"},
      {R"({"sig_id": 5, "kind": "pass"})",
       "kind must be one of suppress, threshold, event_filter, rate_filter"},
      {R"({"sig_id": 5, "track": ["by_src"], "ip": "10.0.0.1"})", "track must be a string"},
      {R"({"sig_id": 5, "track": "by_src"})", "suppress takes track and ip together, or neither"},
      {R"({"sig_id": 5, "track": "by_src\nsuppress", "ip": "10.0.0.1"})",
       "track must be one of by_src, by_dst, by_either for suppress"},
      {R"({"sig_id": 5, "track": "by_src", "ip": "10.0.0.1\nsuppress gen_id 1, sig_id 6"})",
       "ip must be an IPv4 or IPv6 address, a CIDR block, or a bracketed list of them without "
       "blanks"},
      {R"({"sig_id": 5, "count": 3})", "suppress has no option count"},
      {R"({"kind": "threshold", "sig_id": 5, "type": "limit", "track": "by_src", "count": 1})",
       "seconds is required for threshold"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    try {
      threshold::entryFromJson(parsed(c.body));
      ADD_FAILURE() << "accepted";
    } catch (const threshold::InvalidEntry& e) {
      EXPECT_STREQ(e.what(), c.reason);
    }
  }
}

TEST(ThresholdJsonTest, ListingHoldsTheOptionsOfEachKindAndKnownMessages) {
  const auto entries = threshold::entriesOf(
      "#suppress gen_id 1, sig_id 7\n"
      "rate_filter gen_id 1, sig_id 888, track by_src, count 10, seconds 60, new_action drop, "
      "timeout 300\n");
  const Json::Value listing =
      threshold::listingJson(entries, {{7, "\"ET POLICY (test): \\\"x\\\"\""}});
  ASSERT_EQ(listing.size(), 2u);
  const Json::Value& first = listing[0];
  EXPECT_EQ(first.getMemberNames(), (std::vector<std::string>{"content", "enabled", "gen_id",
                                                              "kind", "line", "msg", "sig_id"}));
  EXPECT_EQ(first["kind"], "suppress");
  EXPECT_EQ(first["enabled"], false);
  EXPECT_EQ(first["line"].asUInt64(), 1u);
  EXPECT_EQ(first["content"], "#suppress gen_id 1, sig_id 7");
  EXPECT_EQ(first["msg"], "\"ET POLICY (test): \\\"x\\\"\"");
  const Json::Value& second = listing[1];
  EXPECT_EQ(second.getMemberNames(),
            (std::vector<std::string>{"content", "count", "enabled", "gen_id", "kind", "line",
                                      "new_action", "seconds", "sig_id", "timeout", "track"}));
  EXPECT_EQ(second["kind"], "rate_filter");
  EXPECT_EQ(second["sig_id"].asUInt64(), 888u);
  EXPECT_EQ(second["count"].asUInt64(), 10u);
  EXPECT_EQ(second["seconds"].asUInt64(), 60u);
  EXPECT_EQ(second["new_action"], "drop");
  EXPECT_EQ(second["timeout"].asUInt64(), 300u);
  EXPECT_EQ(second["track"], "by_src");
  EXPECT_EQ(second["line"].asUInt64(), 2u);
}

}  // namespace
