// The statistics routes called in process: the rules file's date as the
// front end shows it, and the texts of a configuration it cannot use. The
// routes over the stored statistics need Redis; the integration tests
// cover them.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/time.h>
#include <time.h>

#include <string>

#include "common/ConfigFile_test.h"
#include "stats/Stats.h"

namespace {

class StatsRoutesTest : public ConfigFileTest {
 protected:
  void SetUp() override {
    ConfigFileTest::SetUp();
    const char* zone = getenv("TZ");
    if (zone) zone_ = zone;
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override {
    if (zone_.empty()) {
      unsetenv("TZ");
    } else {
      setenv("TZ", zone_.c_str(), 1);
    }
    tzset();
    ConfigFileTest::TearDown();
  }

  http::Reply fileDate() {
    http::Request request;
    request.method = "GET";
    request.pattern = "/stats/update/";
    return http::replyOf(Stats::handleGetFileDate(), request);
  }

 private:
  std::string zone_;
};

TEST_F(StatsRoutesTest, RulesFileDateIsItsModificationTimeInLocalTime) {
  const std::string rules = writeFile("suricata.rules", "alert tcp any any -> any any (sid:1;)\n");
  // 2024-02-29 23:59:58 UTC.
  const struct timeval times[2] = {{1709251198, 0}, {1709251198, 0}};
  ASSERT_EQ(utimes(rules.c_str(), times), 0);
  writeSettings({{"rules_file", quoted(rules)}});
  const http::Reply reply = fileDate();
  EXPECT_EQ(reply.code, http::Status::kOk);
  EXPECT_EQ(reply.body, "2024-02-29 23:59:58");
  EXPECT_FALSE(reply.contentType);
}

TEST_F(StatsRoutesTest, RulesFileDateOfAMissingFileOrConfigurationSaysWhich) {
  const struct {
    const char* settings;  // nullptr: no configuration file
    http::Status status;
    const char* body;
  } cases[] = {
      {"application: { settings: { rules_file = \"/nonexistent/suricata.rules\"; }; };",
       http::Status::kOk, "File not found"},
      {nullptr, http::Status::kInternalServerError, "FileIOException"},
      {"application: { settings: { fast_file = \"/x\"; }; };", http::Status::kInternalServerError,
       "SettingNotFoundException"},
      {"application: { settings: { rules_file = 1.5; }; };", http::Status::kInternalServerError,
       "SettingTypeException"},
      {"application: { settings: { rules_file = ; }; };", http::Status::kInternalServerError,
       "ParseException"},
  };
  for (const auto& c : cases) {
    if (c.settings) {
      writeText(config::path(), c.settings);
    } else {
      removeConfig();
    }
    const http::Reply reply = fileDate();
    EXPECT_EQ(reply.code, c.status) << c.body;
    EXPECT_EQ(reply.body, c.body);
    EXPECT_FALSE(reply.contentType) << c.body;
  }
}

TEST(StatsRoutesFrameTest, EveryStatisticsRouteCarriesTheStatsHeaders) {
  const http::Handler handlers[] = {
      Stats::handlegetStats(),       Stats::handlegetStatsPkts(),
      Stats::handlegetStatsAlerts(), Stats::handlegetStatsCPU(),
      Stats::handlegetStatsVM(),     Stats::handlegetStatsPM(),
      Stats::handlegetHistogramm(),  Stats::handleCheckSuricataStatus(),
      Stats::handleGetFileDate(),
  };
  for (const http::Handler& handler : handlers) {
    EXPECT_EQ(handler.frame.cors, http::Cors::kStats);
    EXPECT_EQ(handler.frame.audit, nullptr);
  }
}

}  // namespace
