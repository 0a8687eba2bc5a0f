// The statistics routes against the tests' own Redis: the snapshot, the
// 24-hour charts, the histogram, the Suricata probe and the rules file date.
#include <json/json.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <ctime>
#include <future>

#include "stats/StatsSeries.h"
#include "support/Harness.h"

namespace {

using harness::get;
using harness::HttpReply;
using harness::TestRedis;

Json::Value parse(const std::string& text) {
  Json::Value value;
  Json::Reader reader;
  EXPECT_TRUE(reader.parse(text, value)) << text;
  return value;
}

// `offset` from now as the daemon stamps its entries: local time with a
// fraction and a zone offset, which the charts ignore.
std::string stamp(std::chrono::seconds offset) {
  const std::time_t when = std::time(nullptr) + offset.count();
  std::tm local{};
  localtime_r(&when, &local);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.123456%z", &local);
  return text;
}

std::string statsEvent(const std::string& timestamp, int64_t packets, int64_t alerts) {
  return R"({"timestamp":")" + timestamp +
         R"(","event_type":"stats","stats":{"uptime":60,)"
         R"("decoder":{"pkts":)" +
         std::to_string(packets) + R"(},"detect":{"alert":)" + std::to_string(alerts) + "}}}";
}

std::string report(const std::string& timestamp, const std::string& cpu, const std::string& pm,
                   const std::string& vm, const std::string& alerts) {
  return R"({"timestamp":")" + timestamp + R"(","CPU_percent":)" + cpu + R"(,"physical_memory":)" +
         pm + R"(,"virtual_memory":)" + vm + R"(,"alerts":)" + alerts + "}";
}

// label -> value of a chart reply, checking that it runs newest slot first.
std::map<std::string, int> chartOf(const HttpReply& reply) {
  std::map<std::string, int> chart;
  const Json::Value array = parse(reply.body);
  double previous = 1e9;
  for (const Json::Value& slot : array) {
    const std::string label = slot["label"].asString();
    const double hours = std::stod(label);
    EXPECT_LT(hours, previous) << label << " out of order";
    previous = hours;
    chart[label] = slot["value"].asInt();
  }
  return chart;
}

using std::chrono::hours;
using std::chrono::minutes;
using std::chrono::seconds;

class StatsTest : public harness::IntegrationTest {
 protected:
  static void expectStatsHeaders(const HttpReply& reply) {
    EXPECT_EQ(reply.header("Access-Control-Allow-Origin").value_or(""), "*");
    EXPECT_EQ(reply.header("Access-Control-Allow-Methods").value_or(""), "GET, POST, OPTIONS");
    EXPECT_EQ(reply.header("Access-Control-Allow-Headers").value_or(""),
              "X-Requested-With, Content-Type, Accept, Origin, Authorization");
  }
  // 200, application/json and the styled text, which ends in a line feed.
  static Json::Value expectJson(const HttpReply& reply) {
    EXPECT_EQ(reply.status, 200) << reply.body;
    EXPECT_EQ(reply.header("Content-Type").value_or(""), "application/json");
    EXPECT_EQ(reply.body.back(), '\n');
    expectStatsHeaders(reply);
    return parse(reply.body);
  }
  static void expectError(const HttpReply& reply, const std::string& bodyStart) {
    EXPECT_EQ(reply.status, 500);
    EXPECT_EQ(reply.body.rfind(bodyStart, 0), 0u) << reply.body;
    EXPECT_EQ(reply.headerCount("Content-Type"), 0u);
    expectStatsHeaders(reply);
  }
  static void expectText(const HttpReply& reply, const std::string& body) {
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, body);
    EXPECT_EQ(reply.headerCount("Content-Type"), 0u);
    expectStatsHeaders(reply);
  }
};

// ---- Snapshot -----------------------------------------------------------------

TEST_F(StatsTest, SnapshotCombinesTheHeadEntryWithTheTallies) {
  TestRedis::rpush("stats", {R"({"timestamp":"2024-05-01T13:45:10.000000+0200","stats":{
      "uptime":3600,"capture":{"kernel_packets":900,"kernel_drops":7},
      "decoder":{"pkts":1000,"bytes":5000,"ipv4":800,"ipv6":200,"tcp":600,"udp":350,
                 "icmp4":30,"icmp6":20},
      "detect":{"alert":42},"app_layer":{"flow":{"http":11,"tls":99,"memuse":4096}}}})",
                             statsEvent("2024-05-01T13:40:10", 1, 1)});
  TestRedis::rpush("dns", {R"({"dns":{"type":"query"}})", R"({"dns":{"type":"query"}})",
                           R"({"dns":{"type":"answer"}})", R"({"dns":{"type":"other"}})",
                           R"({"event_type":"dns"})", "not json", R"({"dns":{"type":7}})", "[]"});
  TestRedis::rpush("dhcp",
                   {R"({"dhcp":{"dhcp_type":"discover"}})", R"({"dhcp":{"dhcp_type":"offer"}})",
                    R"({"dhcp":{"dhcp_type":"offer"}})", R"({"dhcp":{"dhcp_type":"request"}})",
                    R"({"dhcp":{"dhcp_type":"ack"}})", R"({"dhcp":{"dhcp_type":"inform"}})",
                    R"({"dhcp":{"dhcp_type":"release"}})", R"({"dhcp":5})"});
  TestRedis::rpush("http", {"1", "2", "3"});
  TestRedis::rpush("tls", {"1", "2"});
  TestRedis::rpush("alert", {"1", "2", "3", "4"});

  const Json::Value snapshot = expectJson(get("/stats/"));
  ASSERT_EQ(snapshot.size(), 29u);
  const std::pair<const char*, int64_t> expected[] = {
      {"uptime", 3600},       {"kernel_packets", 900}, {"kernel_drops", 7},
      {"decoder_pkts", 1000}, {"decoder_bytes", 5000}, {"decoder_ipv4", 800},
      {"decoder_ipv6", 200},  {"decoder_tcp", 600},    {"decoder_udp", 350},
      {"decoder_icmp4", 30},  {"decoder_icmp6", 20},   {"detect_alert", 42},
      {"flow_http", 11},      {"flow_tls", 99},        {"flow_memuse", 4096},
      {"tls_sessions", 2},    {"http_requests", 3},    {"http_responses", 3},
      {"dns_queries", 2},     {"dns_answers", 1},      {"dhcp_discovers", 1},
      {"dhcp_offers", 2},     {"dhcp_requests", 1},    {"dhcp_acks", 1},
      {"dhcp_inform", 1},     {"total_alerts", 4},
  };
  for (const auto& [name, value] : expected) EXPECT_EQ(snapshot[name].asInt64(), value) << name;
  EXPECT_EQ(snapshot["timestamp"].asString(), "2024-05-01T13:45:10.000000+0200");
  EXPECT_GT(snapshot["memuse_resident"].asDouble(), 0.0);
  EXPECT_GT(snapshot["memuse_virtual"].asDouble(), snapshot["memuse_resident"].asDouble());
}

// A sensor's records as Suricata 7 writes them: the ICMP counters spelt
// "icmpv4"/"icmpv6", the flow engine's memory under "flow" (the older paths
// "decoder.icmp4" and "app_layer.flow.memuse" do not exist there), and DNS
// records of format version 2.
TEST_F(StatsTest, SnapshotReadsTheCountersSuricataWrites) {
  TestRedis::rpush("stats",
                   {R"({"timestamp":"2024-05-01T13:45:10.123456+0200",)"
                    R"("event_type":"stats","stats":{"uptime":86412,)"
                    R"("capture":{"kernel_packets":5123456,"kernel_drops":312,"errors":0},)"
                    R"("decoder":{"pkts":5123144,"bytes":4091236321,"invalid":17,)"
                    R"("ipv4":4980001,"ipv6":143120,"tcp":3901220,"udp":1201334,)"
                    R"("icmpv4":9120,"icmpv6":11480,"avg_pkt_size":798,)"
                    R"("event":{"icmpv4":{"unknown_type":3}}},)"
                    R"("flow":{"memcap":0,"tcp":40211,"icmpv4":310,"icmpv6":402,)"
                    R"("spare":10000,"memuse":7340032},)"
                    R"("tcp":{"sessions":40100,"memuse":3244032},)"
                    R"("detect":{"engines":[{"id":0,"rules_loaded":41234}],"alert":1240},)"
                    R"("app_layer":{"flow":{"http":5120,"tls":18210,"dns_udp":40110,)"
                    R"("failed_udp":901},"tx":{"http":6120,"dns_udp":80220}},)"
                    R"("dns":{"memuse":19000,"memcap_state":0},)"
                    R"("http":{"memuse":123456,"memcap":0}}})"});
  TestRedis::rpush(
      "dns",
      {R"({"timestamp":"2024-05-01T13:45:09.000001+0200","flow_id":1182839128491232,)"
       R"("event_type":"dns","src_ip":"192.168.1.20","src_port":53211,"dest_ip":"192.168.1.1",)"
       R"("dest_port":53,"proto":"UDP","dns":{"version":2,"type":"query","id":4711,)"
       R"("rrname":"example.com","rrtype":"A","tx_id":0,"opcode":0}})",
       R"({"timestamp":"2024-05-01T13:45:09.004100+0200","flow_id":1182839128491232,)"
       R"("event_type":"dns","src_ip":"192.168.1.1","src_port":53,"dest_ip":"192.168.1.20",)"
       R"("dest_port":53211,"proto":"UDP","dns":{"version":2,"type":"answer","id":4711,)"
       R"("flags":"8180","qr":true,"rd":true,"ra":true,"opcode":0,"rrname":"example.com",)"
       R"("rrtype":"A","rcode":"NOERROR","answers":[{"rrname":"example.com","rrtype":"A",)"
       R"("ttl":300,"rdata":"93.184.216.34"}],"grouped":{"A":["93.184.216.34"]}}})"});

  const Json::Value snapshot = expectJson(get("/stats/"));
  const std::pair<const char*, int64_t> expected[] = {
      {"uptime", 86412},
      {"kernel_packets", 5123456},
      {"kernel_drops", 312},
      {"decoder_pkts", 5123144},
      {"decoder_bytes", 4091236321},
      {"decoder_ipv4", 4980001},
      {"decoder_ipv6", 143120},
      {"decoder_tcp", 3901220},
      {"decoder_udp", 1201334},
      {"decoder_icmp4", 9120},
      {"decoder_icmp6", 11480},
      {"detect_alert", 1240},
      {"flow_http", 5120},
      {"flow_tls", 18210},
      {"flow_memuse", 7340032},
      {"dns_queries", 1},
      {"dns_answers", 1},
  };
  for (const auto& [name, value] : expected) EXPECT_EQ(snapshot[name].asInt64(), value) << name;
}

// One "dns" or "dhcp" entry nested past the reader's depth limit failed the
// whole snapshot instead of counting for nothing like any unreadable entry.
TEST_F(StatsTest, TallyEntryNestedTooDeepIsSkipped) {
  const std::string deep = std::string(1001, '[') + std::string(1001, ']');
  TestRedis::rpush("stats", {statsEvent("2024-05-01T13:45:10", 5, 1)});
  TestRedis::rpush("dns", {deep, R"({"dns":{"type":"query"}})"});
  TestRedis::rpush("dhcp", {R"({"dhcp":{"dhcp_type":"ack"}})", deep});
  const Json::Value snapshot = expectJson(get("/stats/"));
  EXPECT_EQ(snapshot["dns_queries"].asInt(), 1);
  EXPECT_EQ(snapshot["dhcp_acks"].asInt(), 1);
  EXPECT_EQ(snapshot["decoder_pkts"].asInt(), 5);
}

TEST_F(StatsTest, EmptyStatsListGivesTheDefaultRecordWithoutTallies) {
  TestRedis::rpush("dns", {R"({"dns":{"type":"query"}})"});
  TestRedis::rpush("alert", {"1"});
  const Json::Value snapshot = expectJson(get("/stats/"));
  ASSERT_EQ(snapshot.size(), 29u);
  for (const std::string& name : snapshot.getMemberNames()) {
    if (name != "timestamp") {
      EXPECT_EQ(snapshot[name].asDouble(), 0.0) << name;
    }
  }
  // The server's local time now, "%Y-%m-%d %X".
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char day[16];
  std::strftime(day, sizeof day, "%Y-%m-%d ", &local);
  EXPECT_EQ(snapshot["timestamp"].asString().rfind(day, 0), 0u) << snapshot["timestamp"];
  EXPECT_EQ(snapshot["timestamp"].asString().size(), 19u);
}

// Bad data in Redis used to end the server (a "stats" entry that is not JSON,
// a "dhcp" key that holds no list); now the request fails and serving goes on.
TEST_F(StatsTest, BadDataFailsTheRequestAndTheServerKeepsServing) {
  struct Case {
    const char* name;
    std::function<void()> load;
    const char* body;
  };
  const std::string good = statsEvent("2024-05-01T13:45:10", 5, 1);
  const Case cases[] = {
      {"stats head not JSON", [] { TestRedis::rpush("stats", {"{not json"}); },
       "Error parsing the string: * Line 1, Column 2"},
      {"dhcp not a list",
       [&] {
         TestRedis::rpush("stats", {good});
         TestRedis::command({"SET", "dhcp", "x"});
       },
       "Couldn't get key valuest "},
      {"dns not a list",
       [&] {
         TestRedis::rpush("stats", {good});
         TestRedis::command({"SET", "dns", "x"});
       },
       "Couldn't get key valuest "},
      {"counter of the wrong type",
       [] { TestRedis::rpush("stats", {R"({"stats":{"decoder":{"pkts":"many"}}})"}); },
       "Stats: counter 'stats.decoder.pkts' in the statistics event is not a 64-bit integer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestRedis::flushAll();
    c.load();
    expectError(get("/stats/"), c.body);
    ASSERT_TRUE(harness::TestServer::running());
  }
  TestRedis::flushAll();
  TestRedis::rpush("stats", {good});
  EXPECT_EQ(expectJson(get("/stats/"))["decoder_pkts"].asInt(), 5);
}

TEST_F(StatsTest, SnapshotReadsWhileTheDaemonHoldsItsLockButTheHistogramWaits) {
  TestRedis::rpush("stats", {statsEvent("2024-05-01T13:45:10", 5, 1)});
  TestRedis::command({"SET", "lock:ferryd", "1"});
  const HttpReply snapshot = harness::http("GET", "/stats/", "", std::chrono::milliseconds(3000));
  EXPECT_EQ(expectJson(snapshot)["decoder_pkts"].asInt(), 5);

  auto pending = std::async(std::launch::async, [] { return get("/stats/histogramm/"); });
  ASSERT_EQ(pending.wait_for(std::chrono::milliseconds(400)), std::future_status::timeout)
      << "the histogram did not wait for the lock";
  TestRedis::command({"DEL", "lock:ferryd"});
  ASSERT_EQ(pending.wait_for(std::chrono::milliseconds(5000)), std::future_status::ready);
  EXPECT_EQ(expectJson(pending.get())[15]["stats"].asInt(), 1);
}

// ---- Charts -----------------------------------------------------------------------

TEST_F(StatsTest, EmptyListsGiveFortyEightZeroSlotsNewestFirst) {
  // A single "stats" entry gives no increments either.
  TestRedis::rpush("stats", {statsEvent(stamp(minutes(-5)), 500, 3)});
  for (const char* path :
       {"/stats/pkts/", "/stats/alerts/", "/stats/cpu/", "/stats/vm/", "/stats/pm/"}) {
    SCOPED_TRACE(path);
    const HttpReply reply = get(path);
    const Json::Value chart = expectJson(reply);
    ASSERT_EQ(chart.size(), 48u);
    EXPECT_EQ(chart[0]["label"].asString(), "-0.5h");
    EXPECT_EQ(chart[47]["label"].asString(), "-24.0h");
    for (const auto& [label, value] : chartOf(reply)) EXPECT_EQ(value, 0) << label;
  }
}

TEST_F(StatsTest, PacketChartShowsIncrementsPerHalfHourLocalTime) {
  // Counters 40, 150, 150, 100 from the head: increments 0, 50, 0 from the
  // oldest, and 40 for the head after the counter went back.
  TestRedis::rpush(
      "stats", {statsEvent(stamp(minutes(-10)), 40, 0), statsEvent(stamp(minutes(-40)), 150, 0),
                statsEvent(stamp(minutes(-70)), 150, 0), statsEvent(stamp(minutes(-100)), 100, 0)});
  const HttpReply reply = get("/stats/pkts/");
  expectJson(reply);
  const std::map<std::string, int> chart = chartOf(reply);
  EXPECT_EQ(chart.size(), 48u);
  EXPECT_EQ(chart.at("-0.5h"), 40);
  EXPECT_EQ(chart.at("-1.0h"), 0);
  EXPECT_EQ(chart.at("-1.5h"), 50);
  EXPECT_EQ(chart.at("-2.0h"), 0);
}

TEST_F(StatsTest, ResourceChartsUseTheReportedValuesLocalTime) {
  TestRedis::rpush(
      "stats_report",
      {
          report(stamp(minutes(-5)), "0.257", "1234.9", "2048", "5"),
          report(stamp(minutes(-15)), "0.1", "10", "10", "9"),
          report(stamp(-hours(24) - seconds(20)), "0.5", "1", "1", "11"),  // still in -24.0h
          report(stamp(-hours(24) - seconds(70)), "0.9", "1", "1", "99"),  // dropped
          report(stamp(hours(2) + minutes(10)), "0", "0", "0", "2"),       // future
      });
  struct Case {
    const char* path;
    int newest;  // -0.5h
    int oldest;  // -24.0h
  };
  for (const Case& c : {Case{"/stats/alerts/", 9, 11}, Case{"/stats/cpu/", 25, 50},
                        Case{"/stats/pm/", 1234, 1}, Case{"/stats/vm/", 2048, 1}}) {
    SCOPED_TRACE(c.path);
    const HttpReply reply = get(c.path);
    const Json::Value array = expectJson(reply);
    ASSERT_EQ(array.size(), 49u);
    EXPECT_EQ(array[0]["label"].asString(), "2.0h");
    const std::map<std::string, int> chart = chartOf(reply);
    EXPECT_EQ(chart.at("-0.5h"), c.newest);
    EXPECT_EQ(chart.at("-24.0h"), c.oldest);
  }
}

TEST_F(StatsTest, ChartErrorReplies) {
  struct Case {
    const char* name;
    const char* path;
    std::function<void()> load;
    const char* body;
  };
  const Case cases[] = {
      {"report without timestamp", "/stats/cpu/",
       [] { TestRedis::rpush("stats_report", {R"({"CPU_percent":1})"}); }, "Failed to parse time"},
      {"stats entry without timestamp", "/stats/pkts/",
       [] {
         TestRedis::rpush("stats", {R"({"stats":{}})", R"({"stats":{}})"});
       },
       "Failed to parse time"},
      {"report not JSON", "/stats/pm/", [] { TestRedis::rpush("stats_report", {"{"}); },
       "Stats: JSON parsing error: * Line 1, Column 2"},
      {"stats entry not JSON", "/stats/pkts/", [] { TestRedis::rpush("stats", {"nope"}); },
       "Error parsing the string: "},
      {"value not a number", "/stats/vm/",
       [] {
         TestRedis::rpush("stats_report", {report(stamp(minutes(-5)), "1", "1", "\"x\"", "1")});
       },
       "Stats: 'virtual_memory' of element 0 is not a number"},
      {"value out of range", "/stats/cpu/",
       [] { TestRedis::rpush("stats_report", {report(stamp(minutes(-5)), "1e8", "1", "1", "1")}); },
       "Stats: 'CPU_percent' of element 0 is out of range"},
      {"report not an object", "/stats/alerts/", [] { TestRedis::rpush("stats_report", {"[1]"}); },
       "Stats: element 0 is not a JSON object"},
      {"report list of the wrong type", "/stats/alerts/",
       [] {
         TestRedis::command({"SET", "stats_report", "x"});
       },
       "Stats: Invalid Redis response for LLEN"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestRedis::flushAll();
    c.load();
    expectError(get(c.path), c.body);
  }
}

TEST_F(StatsTest, UnknownResourceTypeFailsOnlyOnANonEmptyList) {
  EXPECT_TRUE(stats::get_resource_stats_as_DataPoints("disk").empty());
  TestRedis::rpush("stats_report", {report(stamp(minutes(-5)), "1", "1", "1", "1")});
  try {
    stats::get_resource_stats_as_DataPoints("disk");
    ADD_FAILURE() << "no exception";
  } catch (const StatsException& e) {
    EXPECT_STREQ(e.what(), "Stats: Unknown statistics type: disk");
  }
}

// ---- Histogram ------------------------------------------------------------------

TEST_F(StatsTest, HistogramCountsSixteenListsInOrder) {
  TestRedis::rpush("alert", {"1", "2", "3"});
  TestRedis::rpush("bittorrent_dht", {"1", "2", "3", "4"});  // Suricata's event type
  TestRedis::rpush("stats", {"1", "2"});
  TestRedis::rpush("bittorrent-dht", {"1", "2"});  // a near miss nobody writes
  const Json::Value histogram = expectJson(get("/stats/histogramm/"));
  const std::pair<const char*, int> expected[] = {
      {"alert", 3}, {"anomaly", 0},       {"quic", 0}, {"ftp", 0},  {"drop", 0}, {"dhcp", 0},
      {"http2", 0}, {"bittorent-dht", 4}, {"smb", 0},  {"dns", 0},  {"flow", 0}, {"http", 0},
      {"tls", 0},   {"fileinfo", 0},      {"ssh", 0},  {"stats", 2}};
  ASSERT_EQ(histogram.size(), 16u);
  for (int i = 0; i < 16; ++i) {
    SCOPED_TRACE(expected[i].first);
    ASSERT_EQ(histogram[i].size(), 1u);
    EXPECT_EQ(histogram[i][expected[i].first].asInt(), expected[i].second);
  }
}

// The entry "bittorent-dht" (the front end's name) counts Suricata's list
// "bittorrent_dht" and a list of the older spelling, alone or together.
TEST_F(StatsTest, HistogramDhtEntryCountsBothSpellings) {
  const struct {
    const char* label;
    int current;  // events in "bittorrent_dht"
    int older;    // events in "bittorent-dht"
    int expected;
  } cases[] = {
      {"only Suricata's list", 3, 0, 3},
      {"only the older list", 0, 2, 2},
      {"both", 3, 2, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TestRedis::command({"DEL", "bittorrent_dht", "bittorent-dht"});
    for (int i = 0; i < c.current; ++i) TestRedis::rpush("bittorrent_dht", {"{}"});
    for (int i = 0; i < c.older; ++i) TestRedis::rpush("bittorent-dht", {"{}"});
    const Json::Value histogram = expectJson(get("/stats/histogramm/"));
    ASSERT_EQ(histogram.size(), 16u);
    EXPECT_EQ(histogram[7]["bittorent-dht"].asInt(), c.expected);
  }
}

TEST_F(StatsTest, HistogramFailsOnAKeyThatHoldsNoListOfTheDhtEntry) {
  TestRedis::command({"SET", "bittorrent_dht", "x"});
  expectError(get("/stats/histogramm/"),
              "Stats: Invalid Redis response type for key 'bittorrent_dht'");
}

TEST_F(StatsTest, HistogramFailsOnAKeyThatHoldsNoList) {
  TestRedis::command({"SET", "flow", "x"});
  expectError(get("/stats/histogramm/"), "Stats: Invalid Redis response type for key 'flow'");
}

// ---- Redis stopped ---------------------------------------------------------------

TEST_F(StatsTest, RedisStoppedGivesTheConnectionErrors) {
  harness::RedisRestarter restart;
  TestRedis::stop();
  const std::pair<const char*, const char*> cases[] = {
      {"/stats/", "Stats Error: Redis connection error."},
      {"/stats/pkts/", "Redis connection error: Connection refused"},
      {"/stats/cpu/", "Redis connection error: Connection refused"},
      {"/stats/histogramm/", "Redis connection error: Connection refused"},
  };
  for (const auto& [path, body] : cases) {
    SCOPED_TRACE(path);
    const HttpReply reply = get(path);
    expectError(reply, body);
    EXPECT_EQ(reply.body, body);
  }
}

// ---- Probe and rules file date ------------------------------------------------------

TEST_F(StatsTest, ProbeFindsAProcessNamedSuricataMain) {
  expectText(get("/suricata/running/"), "Suricata is not running\n");
  {
    harness::NamedProcess suricata("Suricata-Main");
    // The script bears its name only once its exec has run, a moment after the fork.
    EXPECT_TRUE(
        harness::waitFor([] { return get("/suricata/running/").body == "Suricata is running\n"; },
                         std::chrono::milliseconds(5000)));
    expectText(get("/suricata/running/"), "Suricata is running\n");
  }
  expectText(get("/suricata/running/"), "Suricata is not running\n");
}

TEST_F(StatsTest, RulesFileDateIsLocalTime) {
  const std::string rules = config_.path("rules_file");
  harness::writeFile(rules, "alert ip any any -> any any (msg:\"x\"; sid:1;)\n");
  const timeval times[2] = {{1714571110, 0}, {1714571110, 0}};  // 2024-05-01 13:45:10 UTC
  ASSERT_EQ(utimes(rules.c_str(), times), 0);
  const char* zone = std::getenv("TZ");
  const bool berlin = zone != nullptr && std::string(zone) == "Europe/Berlin";
  expectText(get("/stats/update/"), berlin ? "2024-05-01 15:45:10" : "2024-05-01 13:45:10");

  unlink(rules.c_str());
  expectText(get("/stats/update/"), "File not found");
}

// A configuration error used to escape the handler, so the reply lost the
// cross-origin headers; now it is answered like every other error.
TEST_F(StatsTest, RulesFileDateWithoutConfigurationKeepsTheHeaders) {
  config_.remove("rules_file").write();
  expectError(get("/stats/update/"), "SettingNotFoundException");
  harness::TestConfig::writeRaw("application: { settings: { rules_file = ; }; };");
  expectError(get("/stats/update/"), "ParseException");
  harness::TestConfig::erase();
  expectError(get("/stats/update/"), "FileIOException");
}

}  // namespace
