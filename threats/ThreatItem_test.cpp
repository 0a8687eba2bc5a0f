// Indicator records: identity hash, feed CSV lines and the stored JSON form.
#include "threats/ThreatItem.h"

#include <gtest/gtest.h>
#include <json/reader.h>

namespace {

Json::Value parse(const std::string& text) {
  Json::Value value;
  Json::Reader reader;
  EXPECT_TRUE(reader.parse(text, value)) << text;
  return value;
}

TEST(ThreatItemTest, UidIsMurmurHash64AOfIdTypeAndValueJoined) {
  struct Case {
    const char* id;
    const char* type;
    const char* value;
    uint64_t uid;
  };
  const Case cases[] = {
      {"", "", "", 6142509188972423790ULL},
      {"a", "b", "c", 3663726644998027833ULL},
      {"ab", "c", "", 3663726644998027833ULL},  // no separator between the fields
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.id) + "|" + c.type + "|" + c.value);
    ThreatItem item;
    item.id = c.id;
    item.ioc_type = c.type;
    item.ioc_value = c.value;
    EXPECT_EQ(item.calculate_hash(), c.uid);
  }
  EXPECT_EQ(ThreatItem::hash_to_string(6142509188972423790ULL), "6142509188972423790");
  EXPECT_EQ(ThreatItem::hash_to_string(0), "0");
  EXPECT_EQ(ThreatItem::hash_to_string(18446744073709551615ULL), "18446744073709551615");
}

TEST(ThreatItemTest, CsvLineSplitsAtCommasOutsideQuotes) {
  struct Case {
    const char* line;
    std::vector<std::string> fields;
  };
  const Case cases[] = {
      {"a,b,c", {"a", "b", "c"}},
      {"\"a,b\",c", {"a,b", "c"}},
      {"a,,c", {"a", "", "c"}},
      {"a,b,", {"a", "b"}},      // an empty last field is lost
      {"a,b,\"\"", {"a", "b"}},  // so is an empty quoted one
      {"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
      {"ab\"c,d\"e,f", {"abc,de", "f"}},  // quotes open mid-field
      {"a,\"b,c", {"a", "b,c"}},          // never closed: rest in one field
      {"", {}},
      {",", {""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(ThreatItem::parseCsvLine(c.line), c.fields);
  }
}

TEST(ThreatItemTest, TrimRemovesWhiteSpaceAtBothEnds) {
  const std::pair<const char*, const char*> cases[] = {{"  example.com \t", "example.com"},
                                                       {"x\r", "x"},
                                                       {" \t\n\v\f\r", ""},
                                                       {"a b", "a b"},
                                                       {"", ""}};
  for (const auto& [in, out] : cases) EXPECT_EQ(ThreatItem::trim(in), out) << in;
}

TEST(ThreatItemTest, FeedLineFillsFourteenFieldsInFeedOrder) {
  const ThreatItem item = ThreatItem::parse_csv1(
      "\"2024-03-01 10:20:30\",\"1234\",\" evil.example \",\"domain\",\"botnet_cc\","
      "\"win.foo\",\"Foo,Bar\",\"Foo Stealer\",\"\",\"75\",\"https://r.example/1\","
      "\"a,b\",\"0\",\"someone\",\"extra\"\r");
  EXPECT_EQ(item.first_seen_utc, "2024-03-01 10:20:30");
  EXPECT_EQ(item.id, "1234");
  EXPECT_EQ(item.ioc_value, "evil.example");
  EXPECT_EQ(item.ioc_type, "domain");
  EXPECT_EQ(item.threat_type, "botnet_cc");
  EXPECT_EQ(item.malware, "win.foo");
  EXPECT_EQ(item.malware_alias, "Foo,Bar");
  EXPECT_EQ(item.malware_printable, "Foo Stealer");
  EXPECT_EQ(item.last_seen_utc, "");
  EXPECT_EQ(item.confidence_level, "75");
  EXPECT_EQ(item.reference, "https://r.example/1");
  EXPECT_EQ(item.tags, "a,b");
  EXPECT_EQ(item.anonymous, "0");
  EXPECT_EQ(item.reporter, "someone");
  EXPECT_TRUE(item.status);
  ThreatItem same;
  same.id = "1234";
  same.ioc_type = "domain";
  same.ioc_value = "evil.example";
  EXPECT_EQ(item.uid, same.calculate_hash());
  EXPECT_EQ(item.uniq_id, std::to_string(item.uid));
}

TEST(ThreatItemTest, FeedLineOfFewerThanFourteenFieldsGivesTheDefaultRecord) {
  const char* lines[] = {
      "2024-03-01 10:20:30,1,1.2.3.4:80,ip:port,t,m,a,p,l,50,r,tags,0,",  // empty reporter
      "2024-03-01 10:20:30,1,1.2.3.4:80,ip:port",
      "",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    const ThreatItem item = ThreatItem::parse_csv1(line);
    EXPECT_EQ(item.ioc_type, "");
    EXPECT_EQ(item.id, "");
    EXPECT_EQ(item.uid, 0u);
    EXPECT_EQ(item.uniq_id, "");
    EXPECT_TRUE(item.status);
  }
}

TEST(ThreatItemTest, StoredObjectReadsWithRecomputedIdentity) {
  const ThreatItem item = ThreatItem::parsejson(parse(
      R"({"id":"7","ioc_type":"url","ioc_value":"http://x/","uid":1,"uniq_id":"1",
          "confidence_level":100,"anonymous":false,"reporter":null})"));
  EXPECT_EQ(item.confidence_level, "100");
  EXPECT_EQ(item.anonymous, "false");
  EXPECT_EQ(item.reporter, "");
  EXPECT_EQ(item.tags, "");
  EXPECT_FALSE(item.status) << "a missing status reads as disabled";
  EXPECT_EQ(item.uid, item.calculate_hash());
  EXPECT_NE(item.uid, 1u);
  EXPECT_EQ(item.uniq_id, std::to_string(item.uid));

  const std::pair<const char*, bool> statuses[] = {{R"({"status":true})", true},
                                                   {R"({"status":null})", false},
                                                   {R"({"status":2})", true},
                                                   {R"({"status":0})", false}};
  for (const auto& [text, status] : statuses) {
    EXPECT_EQ(ThreatItem::parsejson(parse(text)).status, status) << text;
  }
}

TEST(ThreatItemTest, StoredObjectOfWrongTypesFailsInTheJsonLibrary) {
  for (const char* text : {R"({"id":[1]})", R"({"tags":{}})", R"({"status":"yes"})", "[1]"}) {
    EXPECT_THROW(ThreatItem::parsejson(parse(text)), Json::LogicError) << text;
  }
}

TEST(ThreatItemTest, JsonFormHoldsEveryKeyAndReadsBackEqual) {
  ThreatItem item = ThreatItem::parse_csv1(
      "2024-03-01 10:20:30,99,1.2.3.4:443,ip:port,botnet_cc,m,al,Pr,2024-03-02 00:00:00,50,"
      "ref,tag,1,rep");
  item.status = false;
  const Json::Value json = item.toJson();
  const std::vector<std::string> keys = {"anonymous",      "confidence_level",
                                         "first_seen_utc", "id",
                                         "ioc_type",       "ioc_value",
                                         "last_seen_utc",  "malware",
                                         "malware_alias",  "malware_printable",
                                         "reference",      "reporter",
                                         "status",         "tags",
                                         "threat_type",    "uid",
                                         "uniq_id"};
  EXPECT_EQ(json.getMemberNames(), keys);
  EXPECT_TRUE(json["uid"].isUInt64());
  EXPECT_TRUE(json["status"].isBool());

  const ThreatItem back = ThreatItem::parsejson(json);
  EXPECT_EQ(back.toJson(), json);
  EXPECT_FALSE(back.status);
  EXPECT_EQ(back.uid, item.uid);
  EXPECT_EQ(back.uniq_id, item.uniq_id);
}

}  // namespace
