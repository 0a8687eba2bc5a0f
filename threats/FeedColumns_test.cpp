// Feed column layouts: the positional one, and those a header line names.
#include "threats/FeedColumns.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kPublishedHeader[] =
    R"(# "first_seen_utc","ioc_id","ioc_value","ioc_type","threat_type","fk_malware",)"
    R"("malware_alias","malware_printable","last_seen_utc","confidence_level",)"
    R"("is_compromised","reference","tags","anonymous","reporter")";

std::vector<std::string> fields(const std::string& line) { return ThreatItem::parseCsvLine(line); }

TEST(FeedColumnsTest, PublishedHeaderSkipsTheColumnTheRecordDoesNotKeep) {
  const std::optional<FeedColumns> layout = FeedColumns::fromHeader(kPublishedHeader);
  ASSERT_TRUE(layout.has_value());
  EXPECT_EQ(layout->firstSeenColumn(), 0u);
  const ThreatItem item = layout->record(
      fields(R"("2024-05-01 10:00:00","77","a.example","domain","botnet_cc","win.x","alias",)"
             R"("X","","75","true","https://ref.example","tag1","0","someone")"));
  EXPECT_EQ(item.id, "77");
  EXPECT_EQ(item.malware, "win.x");
  EXPECT_EQ(item.confidence_level, "75");
  EXPECT_EQ(item.reference, "https://ref.example");
  EXPECT_EQ(item.tags, "tag1");
  EXPECT_EQ(item.anonymous, "0");
  EXPECT_EQ(item.reporter, "someone");
  EXPECT_EQ(item.uid, ThreatItem::parse_csv1("x,77,a.example,domain,,,,,,,,,,x").uid);
  EXPECT_TRUE(item.status);
}

TEST(FeedColumnsTest, HeaderInAnotherOrderMapsByName) {
  const std::optional<FeedColumns> layout = FeedColumns::fromHeader(
      "# ioc_type, ioc_value, reporter, extra, first_seen_utc, ioc_id, fk_malware");
  ASSERT_TRUE(layout.has_value());
  EXPECT_EQ(layout->firstSeenColumn(), 4u);
  const ThreatItem item =
      layout->record(fields("url, http://u.example/x ,me,zzz,2024-05-01 10:00:00,9,mal"));
  EXPECT_EQ(item.ioc_type, "url");
  EXPECT_EQ(item.ioc_value, "http://u.example/x");
  EXPECT_EQ(item.reporter, "me");
  EXPECT_EQ(item.first_seen_utc, "2024-05-01 10:00:00");
  EXPECT_EQ(item.id, "9");
  EXPECT_EQ(item.malware, "mal");
  // Fewer fields than the layout needs give the default record.
  EXPECT_EQ(layout->record(fields("url,http://u.example/x,me,zzz,2024-05-01 10:00:00,9")).uid, 0u);
}

TEST(FeedColumnsTest, OtherCommentLinesAreNoHeader) {
  const char* lines[] = {
      "# a feed of indicators",
      "#",
      "",
      "first_seen_utc,ioc_id,ioc_value,ioc_type",  // not a comment line
      "# first_seen_utc, ioc_value, ioc_type",     // no ioc_id
      "# 2024-05-01 10:00:00,1,a.example,domain,botnet_cc,win.x,,X,,75,,tag,0,r",
  };
  for (const char* line : lines) EXPECT_FALSE(FeedColumns::fromHeader(line).has_value()) << line;
}

TEST(FeedColumnsTest, PositionalLayoutReadsFourteenColumns) {
  const FeedColumns layout;
  const ThreatItem item =
      layout.record(fields("2024-05-01 10:00:00,1,a.example,domain,t,m,a,p,l,50,r,tags,0,rep"));
  EXPECT_EQ(item.reference, "r");
  EXPECT_EQ(item.tags, "tags");
  EXPECT_EQ(item.reporter, "rep");
  EXPECT_EQ(layout.record(fields("2024-05-01 10:00:00,1,a.example,domain")).uid, 0u);
}

}  // namespace
