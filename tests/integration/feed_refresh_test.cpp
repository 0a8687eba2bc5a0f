// The scheduled feed refresh, run by the test build every second against the
// loopback feed server: what it writes, what it keeps, how it fails, how it
// stays apart from the manual feed routes, and that it ends with the server.
#include <json/json.h>
#include <sys/wait.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/BuildSettings.h"
#include "support/EventReplies.h"
#include "support/FeedServer.h"
#include "support/Harness.h"

namespace {

using harness::feedLine;
using harness::FeedServer;
using harness::get;
using harness::HttpReply;
using harness::makeZip;
using harness::metricSample;
using harness::readFile;
using harness::utcHoursAgo;
using harness::writeFile;
using std::chrono::milliseconds;

constexpr char kFailures[] = "pavora_feed_refresh_failures_total";
constexpr char kLastSuccess[] = "pavora_feed_refresh_last_success_timestamp_seconds";
constexpr char kRunning[] = "pavora_feed_refresh_running";

double metric(const char* series) { return metricSample(get("/metrics").body, series); }

// Record of the listing: status by id.
std::vector<std::pair<std::string, bool>> listed() {
  const HttpReply reply = get("/ioc/?page_size=100");
  EXPECT_EQ(reply.status, 200) << reply.body;
  std::vector<std::pair<std::string, bool>> ids;
  for (const Json::Value& record : harness::parseJson(reply.body)) {
    ids.emplace_back(record["id"].asString(), record["status"].asBool());
  }
  return ids;
}

std::string uidOf(const std::string& id) {
  for (const Json::Value& record : harness::parseJson(get("/ioc/?page_size=100").body)) {
    if (record["id"].asString() == id) return record["uniq_id"].asString();
  }
  return "";
}

class FeedRefreshTest : public harness::IntegrationTest {
 protected:
  void SetUp() override {
    if (build_settings::kRefreshHourSeconds > 5) {
      GTEST_SKIP() << "the refresh's hour lasts " << build_settings::kRefreshHourSeconds
                   << " s in this build; configure it with -DPAVORA_REFRESH_HOUR_SECONDS=1";
    }
    harness::IntegrationTest::SetUp();
    feed_.emplace();
    config_.setString("ioc_full_link", FeedServer::url("/full.zip")).write();
    for (const char* key : {"ioc_full_file_name", "ioc_local_file_name", "ioc_domains_lst",
                            "ioc_domain_rules", "ioc_ip_rules", "ioc_url_rules"}) {
      files_.push_back(config_.path(key));
      unlink(files_.back().c_str());
    }
  }

  void TearDown() override {
    if (!switchedOn_) return;
    // The next test must not meet a run of this one writing its files.
    const size_t mark = harness::serverLogSize();
    config_.remove("ioc_refresh_hours").remove("ioc_refresh_days").write();
    EXPECT_TRUE(harness::waitForLog(mark, "Feed refresh switched off"));
    EXPECT_TRUE(harness::waitFor([] { return metric(kRunning) == 0; }, milliseconds(20000)));
  }

  // Every hour (a second here), keeping the last 7 days.
  void switchOn(const std::string& link) {
    config_.setString("ioc_full_link", link)
        .setRaw("ioc_refresh_hours", "1")
        .setRaw("ioc_refresh_days", "7")
        .write();
    switchedOn_ = true;
  }

  std::vector<std::string> contents() const {
    std::vector<std::string> texts;
    for (const std::string& path : files_) texts.push_back(readFile(path));
    return texts;
  }

  std::optional<FeedServer> feed_;
  std::vector<std::string> files_;  // the feed file, the store, the four generated files
  bool switchedOn_ = false;
};

TEST_F(FeedRefreshTest, NewIndicatorAppearsAndSwitchedOffOneStaysOff) {
  const std::string base = feedLine(utcHoursAgo(2), "1", "kept.example", "domain") + "\n" +
                           feedLine(utcHoursAgo(3), "2", "off.example", "domain") + "\n" +
                           feedLine(utcHoursAgo(4), "3", "http://off.example/x", "url") + "\n";
  feed_->setArchive(makeZip({{"full.csv", "# first-seen,id,...\n" + base}}));
  ASSERT_EQ(get("/ioc/download/").status, 200);
  ASSERT_EQ(get("/ioc/filter/7").status, 200);
  for (const char* id : {"2", "3"}) {
    ASSERT_EQ(harness::post("/ioc/toggle/", "{\"content\": \"" + uidOf(id) + "\"}").status, 200);
  }
  harness::StandIns::reset();

  // The feed gains a domain, and an indicator older than the 7 days kept.
  feed_->setArchive(makeZip(
      {{"full.csv", "# first-seen,id,...\n" + base +
                        feedLine(utcHoursAgo(1), "4", "new.example", "domain") + "\r\n" +
                        feedLine(utcHoursAgo(24 * 8), "5", "old.example", "domain") + "\n"}}));
  const size_t mark = harness::serverLogSize();
  const double before = std::time(nullptr);
  switchOn(FeedServer::url("/full.zip"));
  ASSERT_TRUE(harness::waitForLog(mark, "Feed refresh done in "));
  ASSERT_TRUE(harness::waitForLog(mark, "Audit: scheduler RUN feed-refresh 200 days=7"));

  const std::vector<std::pair<std::string, bool>> expected = {
      {"1", true}, {"2", false}, {"3", false}, {"4", true}};
  EXPECT_EQ(listed(), expected);
  // The domain list holds the Base64 of each enabled domain, in feed order;
  // the switched-off URL makes no rule.
  EXPECT_EQ(readFile(files_[2]), "a2VwdC5leGFtcGxl\nbmV3LmV4YW1wbGU=\n");
  EXPECT_EQ(readFile(files_[5]), "");
  EXPECT_GE(metric(kLastSuccess), before);
  EXPECT_GE(metric("pavora_feed_refresh_last_duration_seconds"), 0);
  // Suricata is left alone: only the domain list's chown ran.
  for (const std::string& call : harness::StandIns::calls()) {
    EXPECT_EQ(call.rfind("chown ", 0), 0u) << call;
  }
}

TEST_F(FeedRefreshTest, FeedServerDownCountsFailuresAndKeepsEveryFile) {
  for (const std::string& path : files_) writeFile(path, "previous " + path + "\n");
  const std::vector<std::string> previous = contents();
  const HttpReply healthy = get("/health");
  const double failures = std::max(0.0, metric(kFailures));
  const double lastSuccess = metric(kLastSuccess);
  const std::string link = FeedServer::url("/full.zip");
  feed_.reset();  // nothing listens on its port any more

  const size_t mark = harness::serverLogSize();
  switchOn(link);
  ASSERT_TRUE(
      harness::waitFor([&] { return metric(kFailures) >= failures + 3; }, milliseconds(20000)));
  EXPECT_EQ(contents(), previous);
  EXPECT_EQ(metric(kLastSuccess), lastSuccess);
  const std::string log = harness::serverLogSince(mark);
  EXPECT_NE(log.find("Feed refresh failed at the download after "), std::string::npos) << log;
  EXPECT_NE(log.find("Audit: scheduler RUN feed-refresh 500 days=7 step=\"download\" "
                     "reason=\"Error downloading file\""),
            std::string::npos)
      << log;

  // Three failures in a row: the feed is stale, the API still works.
  HttpReply reply = get("/health");
  EXPECT_EQ(reply.status, 200);
  Json::Value health = harness::parseJson(reply.body);
  EXPECT_EQ(health["feed"], "stale") << reply.body;
  EXPECT_EQ(health["status"], "ok");
  EXPECT_EQ(health["redis"], "ok");

  // One run that succeeds makes the reply what it was before.
  feed_.emplace();
  feed_->setArchive(makeZip({{"full.csv", feedLine(utcHoursAgo(1), "9", "a.example", "domain")}}));
  ASSERT_TRUE(
      harness::waitFor([&] { return metric(kLastSuccess) > lastSuccess; }, milliseconds(20000)));
  reply = get("/health");
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, healthy.body);
}

// A manual step waits for the refresh, and the refresh skips a run while a
// manual step runs: the feed server's "/hang" holds each download for the
// stall limit.
TEST_F(FeedRefreshTest, NeverRunsBesideAManualStep) {
  const std::string hang = FeedServer::url("/hang");
  config_.setString("ioc_full_link", hang).write();
  size_t mark = harness::serverLogSize();
  auto manual = std::async(std::launch::async, [] { return get("/ioc/download/"); });
  ASSERT_TRUE(harness::waitFor([&] { return feed_->requests() >= 1; }));
  switchOn(hang);
  EXPECT_TRUE(harness::waitForLog(mark, "Feed refresh skipped: a manual download"));
  EXPECT_EQ(feed_->requests(), 1);
  EXPECT_EQ(manual.get().status, 500);

  // Now the refresh downloads (and hangs); a manual rebuild waits for it.
  ASSERT_TRUE(harness::waitFor([&] { return feed_->requests() >= 2; }, milliseconds(10000)));
  mark = harness::serverLogSize();
  const HttpReply rebuild = get("/ioc/filter/7");
  EXPECT_EQ(rebuild.status, 500);  // no feed file: the refresh never got one
  const std::string log = harness::serverLogSince(mark);
  const size_t waits =
      log.find("The store rebuild waits for the scheduled feed refresh running now");
  const size_t failed = log.find("Feed refresh failed at the download");
  ASSERT_NE(waits, std::string::npos) << log;
  ASSERT_NE(failed, std::string::npos) << log;
  EXPECT_LT(waits, failed);
}

// The server's stop does not wait for a refresh longer than its grace time,
// and leaves no half-written file.
TEST_F(FeedRefreshTest, StopsWithTheServer) {
  for (const std::string& path : files_) writeFile(path, "previous\n");
  const std::vector<std::string> previous = contents();
  switchOn(FeedServer::url("/hang"));
  ASSERT_TRUE(harness::waitFor([&] { return feed_->requests() >= 1; }));
  const std::optional<int> status =
      harness::TestServer::terminate(milliseconds(build_settings::kStopGraceSeconds * 1000 + 3000));
  ASSERT_TRUE(status.has_value()) << "the server did not stop";
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
  EXPECT_EQ(contents(), previous);
  // Started again, the server has no refresh in mind until the configuration says so.
  config_.remove("ioc_refresh_hours").remove("ioc_refresh_days").write();
  switchedOn_ = false;
  feed_.reset();
  harness::TestServer::start();
}

}  // namespace
