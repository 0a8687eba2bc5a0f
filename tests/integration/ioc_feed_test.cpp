// The threat feed: download and unpacking of the archive from a feed server on
// loopback, and the rebuild of the indicator store from the feed file.
#include <json/reader.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <optional>

#include "common/BuildSettings.h"
#include "support/FeedServer.h"
#include "support/Harness.h"
#include "threats/FeedDownload.h"

namespace {

using harness::feedLine;
using harness::FeedServer;
using harness::get;
using harness::HttpReply;
using harness::makeZip;
using harness::readFile;
using harness::utcHoursAgo;
using harness::writeFile;

// The ids and statuses of the whole store, as the listing route gives them.
std::vector<std::pair<std::string, bool>> listedIds() {
  const HttpReply reply = get("/ioc/?page_size=1000");
  EXPECT_EQ(reply.status, 200) << reply.body;
  Json::Value records;
  Json::Reader().parse(reply.body, records);
  std::vector<std::pair<std::string, bool>> ids;
  for (const Json::Value& record : records) {
    ids.emplace_back(record["id"].asString(), record["status"].asBool());
  }
  return ids;
}

class IocFeedTest : public harness::IntegrationTest {
 protected:
  void SetUp() override {
    harness::IntegrationTest::SetUp();
    config_.setString("ioc_full_link", FeedServer::url("/full.zip")).write();
    feedFile_ = config_.path("ioc_full_file_name");
    storeFile_ = config_.path("ioc_local_file_name");
    unlink(feedFile_.c_str());
    unlink(storeFile_.c_str());
  }

  FeedServer feed_;
  std::string feedFile_;
  std::string storeFile_;
};

TEST_F(IocFeedTest, DownloadWritesTheArchivesEntryAsTheFeedFile) {
  const std::string csv = "# feed\n" + feedLine("2024-01-01 00:00:00", "1", "a.example", "domain");
  feed_.setArchive(makeZip({{"full.csv", csv}}));
  HttpReply reply = get("/ioc/download/");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "ZIP downloading and unzipping");
  EXPECT_EQ(reply.headerCount("Content-Type"), 0u);
  harness::expectRulesCorsHeaders(reply);
  EXPECT_EQ(readFile(feedFile_), csv);

  // Entry names are not used: with two entries the second one's bytes remain.
  feed_.setArchive(makeZip({{"first.csv", "first\n"}, {"other-name.txt", "second\n"}}));
  reply = get("/ioc/download/");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(readFile(feedFile_), "second\n");
}

TEST_F(IocFeedTest, FailedDownloadOrUnpackLeavesTheFeedFileAsItWas) {
  struct Case {
    const char* what;
    const char* link;                    // "" keeps the feed's archive route
    std::optional<std::string> archive;  // bytes at "/full.zip"; none: a valid archive
    const char* removedKey;              // "" removes nothing
    const char* extractionDir;           // "" keeps the configured folder
    const char* body;
  };
  const std::string emptyArchive = std::string("PK\x05\x06", 4) + std::string(18, '\0');
  const Case cases[] = {
      {"error page", "/error", "", "", "", "Error in unzipFile"},
      {"bytes that are no archive", "", "PK not really", "", "", "Error in unzipFile"},
      {"archive without entries", "", emptyArchive, "", "", "Error in unzipFile"},
      {"empty body", "", "", "", "", "Error in unzipFile"},
      {"extraction folder missing", "", std::nullopt, "", "/files/nowhere", "Error in unzipFile"},
      {"nobody listening", "http://127.0.0.1:1/full.zip", std::nullopt, "", "",
       "Error downloading file"},
      {"location key missing", "", std::nullopt, "ioc_full_link", "", "Error downloading file"},
      {"folder key missing", "", std::nullopt, "ioc_full_file_path", "",
       "SettingNotFoundException"},
  };
  const std::string valid = makeZip({{"full.csv", "new content\n"}});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(feedFile_, "previous content\n");
    feed_.setArchive(c.archive.value_or(valid));
    harness::TestConfig config = config_;
    const std::string link = c.link;
    if (!link.empty()) {
      config.setString("ioc_full_link", link[0] == '/' ? FeedServer::url(link) : link);
    }
    if (*c.extractionDir != '\0') {
      config.setString("ioc_full_file_path", harness::workDir() + c.extractionDir);
    }
    if (*c.removedKey != '\0') config.remove(c.removedKey);
    config.write();

    const HttpReply reply = get("/ioc/download/");
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(reply.body, c.body);
    harness::expectRulesCorsHeaders(reply);
    EXPECT_EQ(readFile(feedFile_), "previous content\n");
  }
}

// A feed server that accepts the connection and never answers must not hold
// a worker for longer than the stall limit, well before the transfer limit.
TEST_F(IocFeedTest, DeadFeedTimesOutAtTheStallLimit) {
  constexpr auto kStall = std::chrono::seconds(build_settings::kFeedStallSeconds);
  writeFile(feedFile_, "previous content\n");
  config_.setString("ioc_full_link", FeedServer::url("/hang")).write();
  const auto start = std::chrono::steady_clock::now();
  const HttpReply reply =
      harness::http("GET", "/ioc/download/", "", kStall + std::chrono::seconds(20));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(reply.body, "Error downloading file");
  EXPECT_GE(waited, kStall - std::chrono::seconds(1));
  EXPECT_LT(waited, kStall + std::chrono::seconds(10));
  EXPECT_EQ(feed_.requests(), 1);
  EXPECT_EQ(readFile(feedFile_), "previous content\n");
}

TEST_F(IocFeedTest, FilterKeepsRecentIndicatorsInFeedOrderWhateverTheLocalTime) {
  writeFile(feedFile_, "# " + feedLine(utcHoursAgo(1), "0", "c.example", "domain") + "\n" +
                           feedLine(utcHoursAgo(1), "1", "192.0.2.1:80", "ip:port") + "\n" +
                           feedLine("\"" + utcHoursAgo(48) + "\"", "2", "\"b.example\"", "domain") +
                           "\r\n" +
                           feedLine(utcHoursAgo(6 * 24), "3", "http://u.example/x", "url") + "\n" +
                           feedLine(utcHoursAgo(8 * 24), "4", "old.example", "domain") + "\n" +
                           feedLine(utcHoursAgo(1), "5", "0123456789abcdef", "md5_hash") + "\n" +
                           "\n" + feedLine("not a date", "6", "d.example", "domain") + "\n" +
                           utcHoursAgo(1) + ",8,e.example,domain,t,m,a,p,l,50,r,tags,0,\n" +
                           feedLine(utcHoursAgo(-3), "7", "http://future.example/", "url") + "\n");
  HttpReply reply = get("/ioc/filter/7");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "Threats processed successfully");
  EXPECT_EQ(reply.headerCount("Content-Type"), 0u);
  harness::expectRulesCorsHeaders(reply);
  using Ids = std::vector<std::pair<std::string, bool>>;
  EXPECT_EQ(listedIds(), (Ids{{"1", true}, {"2", true}, {"3", true}, {"7", true}}));
  EXPECT_EQ(readFile(storeFile_).substr(0, 4), "[\n\t{");

  // A rebuild switches every indicator on again.
  const HttpReply page = get("/ioc/ioc_id/2");
  Json::Value records;
  Json::Reader().parse(page.body, records);
  const HttpReply toggled =
      harness::post("/ioc/toggle/", "{\"content\":\"" + records[0]["uniq_id"].asString() + "\"}");
  ASSERT_EQ(toggled.status, 200) << toggled.body;
  EXPECT_EQ(listedIds()[1], (std::pair<std::string, bool>{"2", false}));
  EXPECT_EQ(get("/ioc/filter/7").status, 200);
  EXPECT_EQ(listedIds()[1], (std::pair<std::string, bool>{"2", true}));

  // With 0 days only what was first seen less than an hour ago (or later) stays.
  writeFile(feedFile_, feedLine(utcHoursAgo(0.5), "10", "n.example", "domain") + "\n" +
                           feedLine(utcHoursAgo(1.5), "11", "o.example", "domain") + "\n");
  EXPECT_EQ(get("/ioc/filter/0").status, 200);
  EXPECT_EQ(listedIds(), (Ids{{"10", true}}));
}

// The published feed added is_compromised after confidence_level: read by
// position, every later column landed in the member before it.
TEST_F(IocFeedTest, FilterReadsTheColumnsTheFeedsHeaderNames) {
  const std::string recent = utcHoursAgo(1);
  const struct {
    const char* name;
    std::string feed;
  } cases[] = {
      {"published order",
       "# \"first_seen_utc\",\"ioc_id\",\"ioc_value\",\"ioc_type\",\"threat_type\",\"fk_malware\","
       "\"malware_alias\",\"malware_printable\",\"last_seen_utc\",\"confidence_level\","
       "\"is_compromised\",\"reference\",\"tags\",\"anonymous\",\"reporter\"\n"
       "\"" +
           recent +
           "\",\"5\",\"a.example\",\"domain\",\"botnet_cc\",\"win.x\",\"\",\"X\",\"\","
           "\"75\",\"false\",\"https://ref.example\",\"tag\",\"0\",\"someone\"\n"},
      {"another order",
       "# ioc_value,reporter,is_compromised,ioc_type,reference,first_seen_utc,ioc_id,tags,"
       "anonymous\n"
       "a.example,someone,false,domain,https://ref.example," +
           recent + ",5,tag,0\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(feedFile_, "# Feed of the last days\n" + c.feed);
    ASSERT_EQ(get("/ioc/filter/7").status, 200);
    const HttpReply reply = get("/ioc/");
    Json::Value records;
    Json::Reader().parse(reply.body, records);
    ASSERT_EQ(records.size(), 1u) << reply.body;
    EXPECT_EQ(records[0]["id"], "5");
    EXPECT_EQ(records[0]["ioc_value"], "a.example");
    EXPECT_EQ(records[0]["reference"], "https://ref.example");
    EXPECT_EQ(records[0]["tags"], "tag");
    EXPECT_EQ(records[0]["anonymous"], "0");
    EXPECT_EQ(records[0]["reporter"], "someone");
  }
}

TEST_F(IocFeedTest, FilterWithNothingQualifyingStoresNull) {
  writeFile(feedFile_, "# only a comment\n" +
                           feedLine("2001-01-01 00:00:00", "1", "a.example", "domain") + "\n");
  EXPECT_EQ(get("/ioc/filter/30").status, 200);
  EXPECT_EQ(readFile(storeFile_), "null");
  const HttpReply reply = get("/ioc/");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, "null\n");
}

TEST_F(IocFeedTest, FilterFailuresAnswer500WithTheirHeaders) {
  struct Case {
    const char* what;
    const char* path;
    bool feedPresent;
    const char* storeKeyValue;  // "" keeps the configured store
    std::string body;
  };
  const Case cases[] = {
      {"feed file missing", "/ioc/filter/7", false, "", "Error processing data"},
      {"store folder missing", "/ioc/filter/7", true, "/files/nowhere/threats.json",
       "Cannot create a temporary file for " + harness::workDir() +
           "/files/nowhere/threats.json: No such file or directory"},
      {"days that are no number", "/ioc/filter/abc", true, "", "Bad lexical cast"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    unlink(feedFile_.c_str());
    if (c.feedPresent) writeFile(feedFile_, feedLine(utcHoursAgo(1), "1", "a.example", "domain"));
    harness::TestConfig config = config_;
    if (*c.storeKeyValue != '\0') {
      config.setString("ioc_local_file_name", harness::workDir() + c.storeKeyValue);
    }
    config.write();
    const HttpReply reply = get(c.path);
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(reply.body, c.body);
    harness::expectRulesCorsHeaders(reply);
  }
}

// "-1" was read as a day count and wrote null over the store, switches and
// all; "0x10" and "1e3" were read by their leading digits and shrank it.
TEST_F(IocFeedTest, FilterRefusesADayCountThatIsNoPlainNumberAndKeepsTheStore) {
  writeFile(feedFile_, feedLine(utcHoursAgo(1), "1", "a.example", "domain") + "\n");
  const std::string store = "[{\"id\":\"9\",\"status\":false}]";
  const struct {
    const char* days;
    long status;
    const char* body;
  } cases[] = {
      {"-1", 400, "Invalid number of days"},
      {"+7", 400, "Invalid number of days"},
      {"0x10", 400, "Invalid number of days"},
      {"1e3", 400, "Invalid number of days"},
      {"7days", 400, "Invalid number of days"},
      {"2147483648", 400, "Invalid number of days"},
      {"99999999999", 400, "Invalid number of days"},
      {"abc", 500, "Bad lexical cast"},
      {"-", 500, "Bad lexical cast"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.days);
    writeFile(storeFile_, store);
    const HttpReply reply = get(std::string("/ioc/filter/") + c.days);
    EXPECT_EQ(reply.status, c.status);
    EXPECT_EQ(reply.body, c.body);
    EXPECT_EQ(reply.headerCount("Content-Type"), 0u);
    harness::expectRulesCorsHeaders(reply);
    EXPECT_EQ(readFile(storeFile_), store);
  }
  for (const char* days : {"36500", "36501", "007"}) {
    SCOPED_TRACE(days);
    writeFile(storeFile_, store);
    EXPECT_EQ(get(std::string("/ioc/filter/") + days).status, 200);
    EXPECT_EQ(listedIds(), (std::vector<std::pair<std::string, bool>>{{"1", true}}));
  }
}

// Any count of the 32-bit segment is a day count: one reaching past the
// feed's oldest indicator keeps them all, and 24 × count hours must not wrap
// (it passes 32 bits from 89,478,486 days on).
TEST_F(IocFeedTest, FilterTakesEveryThirtyTwoBitDayCount) {
  // 1900 lies about 46,000 days back: past a hundred years, within the others.
  writeFile(feedFile_, feedLine("1900-01-01 00:00:00", "1", "a.example", "domain") + "\n" +
                           feedLine(utcHoursAgo(1), "2", "b.example", "domain") + "\n");
  const struct {
    const char* days;
    std::vector<std::pair<std::string, bool>> kept;
  } cases[] = {
      {"36500", {{"2", true}}},
      {"89478485", {{"1", true}, {"2", true}}},
      {"89478486", {{"1", true}, {"2", true}}},
      {"2147483647", {{"1", true}, {"2", true}}},
      {"0002147483647", {{"1", true}, {"2", true}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.days);
    const HttpReply reply = get(std::string("/ioc/filter/") + c.days);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, "Threats processed successfully");
    EXPECT_EQ(listedIds(), c.kept);
  }
}

// A feed archive is outside data: a small archive can unpack to gigabytes,
// and the unpacked file is held in memory before it is written.
TEST(FeedUnpackTest, EntryPastTheBoundIsRefusedAndTheOldFeedKept) {
  const std::string folder = harness::workDir() + "/files/unpack-bound";
  writeFile(folder + "/full.csv", "old feed\n");
  const std::string archive = makeZip({{"full.csv", std::string(5000, 'a')}});
  try {
    threats::unzipFile(archive, folder, 4999);
    FAIL() << "an entry past the bound was unpacked";
  } catch (const ThreatsException& e) {
    EXPECT_STREQ(e.what(), "Error in unzipFile");
  }
  EXPECT_EQ(readFile(folder + "/full.csv"), "old feed\n");
  threats::unzipFile(archive, folder, 5000);
  EXPECT_EQ(readFile(folder + "/full.csv"), std::string(5000, 'a'));
}

}  // namespace
