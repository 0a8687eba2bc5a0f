// The alert map: short alerts with the geolocation of both ends, from a city
// database that the tests write, and the one database handle shared by both
// worker threads while the configured file changes.
#include <json/json.h>

#include <atomic>
#include <cstdio>
#include <future>
#include <thread>

#include "common/Configuration.h"
#include "common/JsonText.h"
#include "support/CityDatabase.h"
#include "support/EventReplies.h"

namespace {

using harness::get;
using harness::HttpReply;
using harness::TestRedis;

Json::Value parse(const std::string& text) { return harness::parseJson(text); }

std::string files() { return harness::workDir() + "/files"; }

// Replaces the configuration file in one rename, so that a request running
// meanwhile reads either the old file or the new one.
void replaceConfig(const std::string& text) {
  const std::string temporary = std::string(config::path()) + ".next";
  harness::writeFile(temporary, text);
  ASSERT_EQ(std::rename(temporary.c_str(), config::path()), 0);
}

class AlertsMapTest : public harness::IntegrationTest {
 protected:
  static void SetUpTestSuite() {
    harness::makeCityDatabase(harness::TestConfig().path("geo_file"), "test");
  }
  void expectError(const HttpReply& reply, const std::string& body) {
    harness::expectEventsText(reply, 500, body);
  }
  // Text of the configuration with "geo_file" set to `path`.
  std::string configWithDatabase(const std::string& path) {
    config_.setString("geo_file", path).write();
    return harness::readFile(config::path());
  }
};

TEST_F(AlertsMapTest, AlertsCarryTheLocationOfBothEnds) {
  TestRedis::rpush(
      "alert",
      {R"({"timestamp":"2026-01-01T10:00:00.000000+0000","flow_id":1234567890123456789,)"
       R"("in_iface":"eth0","event_type":"alert","src_ip":"192.168.1.10","src_port":51000,)"
       R"("dest_ip":"8.8.8.8","dest_port":53,"proto":"UDP",)"
       R"("alert":{"signature":"ET DNS query","signature_id":2001,"category":"Misc"}})",
       "not json", R"({"src_ip":"2001:4860::1","dest_ip":"81.2.69.1","dest_port":"443"})",
       R"([1,2])", R"({"src_ip":"9.9.9.9","dest_ip":"172.31.255.255","alert":"odd"})",
       R"({"src_ip":"10.0.0.256","dest_ip":"172.32.0.1","flow_id":null})"});
  const std::string site =
      R"({"City":"Moscow","Country":"Russia","latitude":55.7558,"longitude":37.6173})";
  const std::string unknown =
      R"({"City":"Unknown","Country":"Unknown","latitude":-85.0,"longitude":0.0})";
  const Json::Value expected =
      parse(R"([{"dest_geo":{"City":"Mountain View","Country":"United States",)"
            R"("latitude":37.386,"longitude":-122.0838},"dest_ip":"8.8.8.8","dest_port":53,)"
            R"("flow_id":1234567890123456789,"in_iface":"eth0","signature":"ET DNS query",)"
            R"("signature_id":2001,"src_geo":)" +
            site +
            R"(,"src_ip":"192.168.1.10",)"
            R"("src_port":51000,"timestamp":"2026-01-01T10:00:00.000000+0000"},)"
            R"({"dest_geo":{"City":"Unknown","Country":"United Kingdom","latitude":-85.0,)"
            R"("longitude":0.0},"dest_ip":"81.2.69.1","dest_port":"443","flow_id":0,)"
            R"("in_iface":"N/A","signature":"N/A","signature_id":0,"src_geo":{"City":"Berlin",)"
            R"("Country":"Germany","latitude":52.52,"longitude":13.405},"src_ip":"2001:4860::1",)"
            R"("src_port":0,"timestamp":"N/A"},)"
            R"({"dest_geo":)" +
            site +
            R"(,"dest_ip":"172.31.255.255","dest_port":0,"flow_id":0,)"
            R"("in_iface":"N/A","signature":"N/A","signature_id":0,"src_geo":)" +
            unknown +
            R"(,"src_ip":"9.9.9.9","src_port":0,"timestamp":"N/A"},)"
            R"({"dest_geo":)" +
            unknown +
            R"(,"dest_ip":"172.32.0.1","dest_port":0,"flow_id":null,)"
            R"("in_iface":"N/A","signature":"N/A","signature_id":0,"src_geo":)" +
            unknown + R"(,"src_ip":"10.0.0.256","src_port":0,"timestamp":"N/A"}])");

  const HttpReply reply = get("/events/alertsmap");
  harness::expectEventsJson(reply);
  EXPECT_EQ(parse(reply.body), expected) << reply.body;
  EXPECT_NE(reply.body.find("\"latitude\" : -85.0,"), std::string::npos);
  // Written in the JSON library's own layout, byte for byte.
  EXPECT_EQ(reply.body, json_text::write(parse(reply.body)));
}

// Events whose members need the JSON library (an object where a scalar is
// copied, an address that is a real number) keep their place among the
// others and come out in the same layout.
TEST_F(AlertsMapTest, EventsTheLibraryReadsKeepTheirPlaceAndLayout) {
  TestRedis::rpush("alert", {R"({"src_ip":"8.8.8.8","dest_port":443})",
                             R"({"src_ip":"8.8.8.8","in_iface":{"name":"eth0"}})",
                             R"({"src_ip":1.5,"dest_ip":"10.1.1.1"})",
                             R"({"src_ip":"8.8.8.8","alert":{"signature_id":[1]}})",
                             R"({"dest_ip":"8.8.8.8","timestamp":"\u00e9\t"})"});
  const HttpReply reply = get("/events/alertsmap");
  const Json::Value alerts = parse(reply.body);
  ASSERT_EQ(alerts.size(), 5u) << reply.body;
  EXPECT_EQ(alerts[0]["dest_port"], 443);
  EXPECT_EQ(alerts[1]["in_iface"]["name"], "eth0");
  EXPECT_EQ(alerts[1]["src_geo"]["Country"], "United States");
  EXPECT_EQ(alerts[2]["src_ip"], 1.5);
  EXPECT_EQ(alerts[2]["src_geo"]["Country"], "Unknown");
  EXPECT_EQ(alerts[2]["dest_geo"]["City"], "Moscow");
  EXPECT_EQ(alerts[3]["signature_id"][0], 1);
  EXPECT_EQ(alerts[4]["timestamp"], "\u00e9\t");
  EXPECT_NE(reply.body.find(R"("timestamp" : "\u00e9\t")"), std::string::npos) << reply.body;
  EXPECT_EQ(reply.body, json_text::write(alerts));
}

// The diagnostic lines on standard output: the site, then for each alert the
// source's lookup and the destination's, in order (a found address adds no
// line of its own).
TEST_F(AlertsMapTest, LookupsWriteTheirDiagnosticLinesInOrder) {
  TestRedis::rpush("alert", {R"({"src_ip":"192.168.0.1","dest_ip":"8.8.8.8"})",
                             R"({"src_ip":"not an address"})"});
  const std::string inside = "inside geo location: lon 37.6173 lat 55.7558\n";
  const std::string site = "res: lon 37.6173 lat 55.7558\n";
  const std::string notFound = " - Success (not an error)\n";
  // The second time the alerts' short forms are the ones kept from the first:
  // their lines come again all the same.
  for (int time = 1; time <= 2; ++time) {
    SCOPED_TRACE("request " + std::to_string(time));
    const size_t mark = harness::serverLogSize();
    ASSERT_EQ(get("/events/alertsmap").status, 200);
    EXPECT_NE(harness::serverLogSince(mark).find(
                  "lat  55.7558\nlong  37.6173\n" + site +                     // the request
                  inside + site + inside +                                     // first alert
                  inside + "Search error IP gai: not an address" + notFound +  // second alert
                  inside + "Search error IP gai: N/A" + notFound),
              std::string::npos)
        << harness::serverLogSince(mark);
  }
}

// An alert seen before is located again once the site's configured location
// has changed.
TEST_F(AlertsMapTest, AMovedSiteLocatesAlertsSeenBefore) {
  TestRedis::rpush("alert", {R"({"src_ip":"192.168.0.1","dest_ip":"10.0.0.1"})"});
  EXPECT_EQ(parse(get("/events/alertsmap").body)[0]["src_geo"]["latitude"], 55.7558);
  config_.setRaw("latitude", "48.8566").setString("city", "Paris").write();
  const Json::Value moved = parse(get("/events/alertsmap").body)[0];
  EXPECT_EQ(moved["src_geo"]["latitude"], 48.8566);
  EXPECT_EQ(moved["dest_geo"]["City"], "Paris");
}

// An address from the event store is outside text: a line feed or ESC in it
// is written escaped and cannot start a diagnostic line of its own.
TEST_F(AlertsMapTest, DiagnosticLinesEscapeControlBytesOfAnAddress) {
  TestRedis::rpush("alert", {R"({"src_ip":"x\nres: forged\u001b[31m"})"});
  const size_t mark = harness::serverLogSize();
  ASSERT_EQ(get("/events/alertsmap").status, 200);
  EXPECT_TRUE(harness::waitForLog(mark, R"(Search error IP gai: x\nres: forged\x1b[31m - )"))
      << harness::serverLogSince(mark);
  EXPECT_EQ(harness::serverLogSince(mark).find("\nres: forged"), std::string::npos);
}

TEST_F(AlertsMapTest, AnAlertWithoutAddressesGetsPlaceholders) {
  TestRedis::rpush("alert", {R"({"flow_id":7})"});
  const Json::Value alerts = parse(get("/events/alertsmap").body);
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0]["src_ip"], "N/A");
  EXPECT_EQ(alerts[0]["dest_ip"], "N/A");
  EXPECT_EQ(alerts[0]["src_geo"]["Country"], "Unknown");
  EXPECT_EQ(alerts[0]["dest_geo"]["latitude"], -85.0);
}

TEST_F(AlertsMapTest, LimitIsTheInclusiveStopIndexAndOffsetIsIgnored) {
  TestRedis::rpush("alert", {R"({"flow_id":1})", R"({"flow_id":2})", R"({"flow_id":3})"});
  EXPECT_EQ(parse(get("/events/alertsmap?limit=0").body).size(), 1u);
  EXPECT_EQ(parse(get("/events/alertsmap?limit=1&offset=2").body).size(), 2u);
  EXPECT_EQ(parse(get("/events/alertsmap").body).size(), 3u);
}

TEST_F(AlertsMapTest, ErrorReplies) {
  expectError(get("/events/alertsmap?limit=x"), "Events: Invalid Redis response");

  // The database is opened whenever the list is read, even when it is empty.
  config_.setString("geo_file", files() + "/missing.mmdb").write();
  expectError(get("/events/alertsmap"), "Cannot open GeoLite2");
  TestRedis::rpush("alert", {R"({"src_ip":"8.8.8.8"})"});
  expectError(get("/events/alertsmap"), "Cannot open GeoLite2");
  harness::writeFile(files() + "/not-a-database.mmdb", "plain text\n");
  config_.setString("geo_file", files() + "/not-a-database.mmdb").write();
  expectError(get("/events/alertsmap"), "Cannot open GeoLite2");

  // Configuration errors reach the reply with the library's text.
  config_ = harness::TestConfig();
  config_.setRaw("latitude", "55").write();
  HttpReply reply = get("/events/alertsmap");
  EXPECT_EQ(reply.status, 500);
  EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
  config_ = harness::TestConfig();
  config_.remove("city").write();
  EXPECT_EQ(get("/events/alertsmap").status, 500);
}

TEST_F(AlertsMapTest, ADatabaseFileReplacedAtTheSamePathIsReadAfresh) {
  const std::string path = files() + "/replaced.mmdb";
  harness::makeCityDatabase(path, "test");
  config_.setString("geo_file", path).write();
  TestRedis::rpush("alert", {R"({"src_ip":"8.8.8.8"})"});
  EXPECT_EQ(parse(get("/events/alertsmap").body)[0]["src_geo"]["Country"], "United States");
  harness::makeCityDatabase(path, "alt");
  EXPECT_EQ(parse(get("/events/alertsmap").body)[0]["src_geo"]["Country"], "Canada");
}

// Both worker threads answer alert-map requests while the configured database
// flips between two files: every reply is whole and was located through one
// database from start to end.
TEST_F(AlertsMapTest, ConcurrentRequestsWhileTheDatabasePathFlips) {
  const std::string first = files() + "/flip-test.mmdb";
  const std::string second = files() + "/flip-alt.mmdb";
  harness::makeCityDatabase(first, "test");
  harness::makeCityDatabase(second, "alt");
  const std::string configs[] = {configWithDatabase(first), configWithDatabase(second)};
  std::vector<std::string> alerts(20, R"({"src_ip":"1.1.1.1","dest_ip":"8.8.8.8"})");
  alerts.push_back(R"({"src_ip":"10.1.2.3","dest_ip":"2001:4860::8"})");
  TestRedis::rpush("alert", alerts);

  std::atomic<bool> done{false};
  std::thread flipper([&] {
    for (int flips = 0; !done && flips < 200000; ++flips) {
      replaceConfig(configs[flips % 2]);
      std::this_thread::yield();
    }
  });
  // Countries of one reply's ends, "" when the reply is not well-formed or mixes databases.
  auto client = [] {
    std::map<std::string, int> seen;
    for (int i = 0; i < 40; ++i) {
      const HttpReply reply = get("/events/alertsmap");
      Json::Value list;
      std::string key;
      if (reply.status == 200 && Json::Reader().parse(reply.body, list) && list.size() == 21) {
        key = list[0]["src_geo"]["Country"].asString() + "/" +
              list[0]["dest_geo"]["Country"].asString() + "/" +
              list[20]["dest_geo"]["Country"].asString();
        for (const Json::Value& alert : list) {
          if (alert != list[0] && alert != list[20]) key = "mixed: " + reply.body;
        }
      } else {
        key = "bad reply " + std::to_string(reply.status) + ": " + reply.body;
      }
      ++seen[key];
    }
    return seen;
  };
  auto one = std::async(std::launch::async, client);
  auto two = std::async(std::launch::async, client);
  std::map<std::string, int> seen = one.get();
  for (const auto& [key, count] : two.get()) seen[key] += count;
  done = true;
  flipper.join();

  const std::string fromFirst = "Australia/United States/Germany";
  const std::string fromSecond = "Japan/Canada/Norway";
  for (const auto& [key, count] : seen) {
    EXPECT_TRUE(key == fromFirst || key == fromSecond) << count << " x " << key;
  }
  // Both files answered some of the requests.
  EXPECT_GT(seen[fromFirst], 0);
  EXPECT_GT(seen[fromSecond], 0);

  // A changed path takes effect with the next request.
  replaceConfig(configs[0]);
  EXPECT_EQ(parse(get("/events/alertsmap?limit=0").body)[0]["src_geo"]["Country"], "Australia");
  replaceConfig(configs[1]);
  EXPECT_EQ(parse(get("/events/alertsmap?limit=0").body)[0]["src_geo"]["Country"], "Japan");
}

}  // namespace
