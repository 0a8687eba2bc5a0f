// Reading a statistics event into the snapshot record, and its JSON form.
#include "stats/StatsItem.h"

#include <gtest/gtest.h>
#include <json/writer.h>

#include <regex>

namespace {

const char kFullEvent[] = R"({
  "timestamp": "2024-05-01T13:45:10.123456+0200",
  "event_type": "stats",
  "stats": {
    "uptime": 3600,
    "capture": {"kernel_packets": 900, "kernel_drops": 7},
    "decoder": {"pkts": 1000, "bytes": 123456789012, "ipv4": 800, "ipv6": 200,
                "tcp": 600, "udp": 350, "icmp4": 30, "icmp6": 20},
    "detect": {"alert": 42},
    "app_layer": {"flow": {"http": 11, "tls": 12, "memuse": 4096}}
  }
})";

TEST(StatsItemTest, ParseReadsEveryCounterByItsPath) {
  const StatsItem item = StatsItem::parse(kFullEvent);
  EXPECT_EQ(item.timestamp, "2024-05-01T13:45:10.123456+0200");
  EXPECT_EQ(item.uptime, 3600);
  EXPECT_EQ(item.kernel_packets, 900);
  EXPECT_EQ(item.kernel_drops, 7);
  EXPECT_EQ(item.decoder_pkts, 1000);
  EXPECT_EQ(item.decoder_bytes, 123456789012);
  EXPECT_EQ(item.decoder_ipv4, 800);
  EXPECT_EQ(item.decoder_ipv6, 200);
  EXPECT_EQ(item.decoder_tcp, 600);
  EXPECT_EQ(item.decoder_udp, 350);
  EXPECT_EQ(item.decoder_icmp4, 30);
  EXPECT_EQ(item.decoder_icmp6, 20);
  EXPECT_EQ(item.detect_alert, 42);
  EXPECT_EQ(item.flow_http, 11);
  EXPECT_EQ(item.flow_tls, 12);
  EXPECT_EQ(item.tls_sessions, 12);
  EXPECT_EQ(item.flow_memuse, 4096);
  EXPECT_EQ(item.http_requests + item.dns_queries + item.dhcp_acks + item.total_alerts, 0);
  EXPECT_EQ(item.memuse_resident + item.memuse_virtual, 0.0);
}

// A statistics record in the shape Suricata 7 writes it (cut to a few members
// per group): ICMP counters spelt "icmpv4"/"icmpv6", the flow engine's memory
// under "flow", and counters of the same names in other groups that must not
// be taken for them ("flow.icmpv4", "decoder.event.icmpv4", "tcp.memuse").
const char kSuricataEvent[] =
    R"({"timestamp":"2024-05-01T13:45:10.123456+0200",)"
    R"("event_type":"stats","stats":{"uptime":86412,)"
    R"("capture":{"kernel_packets":5123456,"kernel_drops":312,"errors":0,)"
    R"("afpacket":{"polls":123,"poll_data":113}},)"
    R"("decoder":{"pkts":5123144,"bytes":4091236321,"invalid":17,"ipv4":4980001,)"
    R"("ipv6":143120,"ethernet":5123144,"tcp":3901220,"udp":1201334,"sctp":0,)"
    R"("icmpv4":9120,"icmpv6":11480,"avg_pkt_size":798,"max_pkt_size":1514,)"
    R"("event":{"ipv4":{"pkt_too_small":0},"icmpv4":{"unknown_type":3},)"
    R"("icmpv6":{"unknown_type":5}},"too_many_layers":0},)"
    R"("flow":{"memcap":0,"tcp":40211,"udp":61002,"icmpv4":310,"icmpv6":402,)"
    R"("wrk":{"spare_sync_avg":100},"spare":10000,"memuse":7340032},)"
    R"("tcp":{"sessions":40100,"memuse":3244032,"reassembly_memuse":1130496},)"
    R"("detect":{"engines":[{"id":0,"rules_loaded":41234,"rules_failed":2}],)"
    R"("alert":1240,"alert_queue_overflow":0,"alerts_suppressed":0},)"
    R"("app_layer":{"flow":{"http":5120,"ftp":3,"tls":18210,"ssh":40,"dns_tcp":33,)"
    R"("bittorrent-dht":12,"failed_tcp":7,"dns_udp":40110,"failed_udp":901},)"
    R"("tx":{"http":6120,"tls":0,"dns_udp":80220},"expectations":0},)"
    R"("dns":{"memuse":19000,"memcap_state":0,"memcap_global":0},)"
    R"("http":{"memuse":123456,"memcap":0}}})";

TEST(StatsItemTest, ParseReadsTheCountersOfARecordAsSuricataWritesIt) {
  const StatsItem item = StatsItem::parse(kSuricataEvent);
  const struct {
    const char* name;
    int64_t StatsItem::*field;
    int64_t value;
  } expected[] = {
      {"uptime", &StatsItem::uptime, 86412},
      {"kernel_packets", &StatsItem::kernel_packets, 5123456},
      {"kernel_drops", &StatsItem::kernel_drops, 312},
      {"decoder_pkts", &StatsItem::decoder_pkts, 5123144},
      {"decoder_bytes", &StatsItem::decoder_bytes, 4091236321},
      {"decoder_ipv4", &StatsItem::decoder_ipv4, 4980001},
      {"decoder_ipv6", &StatsItem::decoder_ipv6, 143120},
      {"decoder_tcp", &StatsItem::decoder_tcp, 3901220},
      {"decoder_udp", &StatsItem::decoder_udp, 1201334},
      {"decoder_icmp4", &StatsItem::decoder_icmp4, 9120},
      {"decoder_icmp6", &StatsItem::decoder_icmp6, 11480},
      {"detect_alert", &StatsItem::detect_alert, 1240},
      {"flow_http", &StatsItem::flow_http, 5120},
      {"flow_tls", &StatsItem::flow_tls, 18210},
      {"tls_sessions", &StatsItem::tls_sessions, 18210},
      {"flow_memuse", &StatsItem::flow_memuse, 7340032},
  };
  for (const auto& c : expected) EXPECT_EQ(item.*c.field, c.value) << c.name;
  EXPECT_EQ(item.timestamp, "2024-05-01T13:45:10.123456+0200");
}

// Where a counter has two paths, the one Suricata writes counts whenever it
// is present and not null (0 included); the older spelling only without it.
TEST(StatsItemTest, RealPathWinsOverTheOlderSpelling) {
  const struct {
    const char* event;
    int64_t icmp4, icmp6, memuse;
  } cases[] = {
      {R"({"stats":{"decoder":{"icmpv4":4,"icmpv6":6},"flow":{"memuse":8}}})", 4, 6, 8},
      {R"({"stats":{"decoder":{"icmp4":1,"icmp6":2},"app_layer":{"flow":{"memuse":3}}}})", 1, 2, 3},
      {R"({"stats":{"decoder":{"icmp4":1,"icmpv4":4,"icmp6":2,"icmpv6":6},)"
       R"("app_layer":{"flow":{"memuse":3}},"flow":{"memuse":8}}})",
       4, 6, 8},
      // the same with the older spelling after the real one in the text
      {R"({"stats":{"flow":{"memuse":8},"decoder":{"icmpv4":4,"icmp4":1,"icmpv6":6,)"
       R"("icmp6":2},"app_layer":{"flow":{"memuse":3}}}})",
       4, 6, 8},
      {R"({"stats":{"decoder":{"icmp4":1,"icmpv4":0},"app_layer":{"flow":{"memuse":3}},)"
       R"("flow":{"memuse":0}}})",
       0, 0, 0},
      {R"({"stats":{"decoder":{"icmp4":1,"icmpv4":null},"app_layer":{"flow":{"memuse":3}},)"
       R"("flow":{"memuse":null}}})",
       1, 0, 3},
      {R"({"stats":{"decoder":{"icmp4":1},"app_layer":{"flow":{"memuse":3}},"flow":null}})", 1, 0,
       3},
      // a real number takes the slower reader, which must choose alike
      {R"({"stats":{"decoder":{"icmp4":1.5,"icmpv4":4},"app_layer":{"flow":{"memuse":3}},)"
       R"("flow":{"memuse":8.0}}})",
       4, 0, 8},
      {R"({"stats":{"decoder":{"icmp4":1,"icmpv4":null,"pkts":2.5},)"
       R"("app_layer":{"flow":{"memuse":3}},"flow":{}}})",
       1, 0, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.event);
    const StatsItem item = StatsItem::parse(c.event);
    EXPECT_EQ(item.decoder_icmp4, c.icmp4);
    EXPECT_EQ(item.decoder_icmp6, c.icmp6);
    EXPECT_EQ(item.flow_memuse, c.memuse);
  }
}

TEST(StatsItemTest, AbsentOrNullMembersReadAsZeroOrUnknown) {
  struct Case {
    const char* event;
    int64_t kernelPackets, detectAlert, flowMemuse, pkts;
  };
  const Case cases[] = {
      {R"({"stats": {"decoder": {"pkts": 5}}})", 0, 0, 0, 5},
      {R"({"stats": {"capture": null, "detect": {"alert": null}, "decoder": {"pkts": 5}}})", 0, 0,
       0, 5},
      // memuse only outside app_layer.flow is not read
      {R"({"stats": {"memuse": 9, "app_layer": {"memuse": 9, "flow": {}},)"
       R"( "detect": {"alert": 2}}})",
       0, 2, 0, 0},
      {R"({"stats": {"capture": {"kernel_packets": 3}}})", 3, 0, 0, 0},
      {R"({"stats": null})", 0, 0, 0, 0},
      {R"({})", 0, 0, 0, 0},
      {R"({"stats": {"decoder": {"pkts": 2.9}}})", 0, 0, 0, 2},
      // of members sharing a name, the last one counts, at every level
      {R"({"stats": {"decoder": {"pkts": 1, "pkts": 7}}})", 0, 0, 0, 7},
      {R"({"stats": {"decoder": {"pkts": 1}}, "stats": {"detect": {"alert": 4}}})", 0, 4, 0, 0},
      {R"({"stats": {"decoder": {"pkts": 1}, "decoder": null}})", 0, 0, 0, 0},
      {R"({"stats": {"app_layer": {"flow": {"memuse": 1}}, "app_layer": {"flow": 1, )"
       R"("flow": {"memuse": 6}}}})",
       0, 0, 6, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.event);
    const StatsItem item = StatsItem::parse(c.event);
    EXPECT_EQ(item.timestamp, "unknown");
    EXPECT_EQ(item.kernel_packets, c.kernelPackets);
    EXPECT_EQ(item.kernel_drops, 0);
    EXPECT_EQ(item.detect_alert, c.detectAlert);
    EXPECT_EQ(item.flow_memuse, c.flowMemuse);
    EXPECT_EQ(item.decoder_pkts, c.pkts);
  }
}

// Bad data in the "stats" list used to end the whole process; now the request fails.
TEST(StatsItemTest, BadEventsThrowInsteadOfEndingTheProcess) {
  const std::pair<const char*, const char*> cases[] = {
      {"not json", "Error parsing the string: * Line 1, Column 1"},
      {R"({"stats": {)", "Error parsing the string: "},
      {"[1, 2]", "Stats: the statistics event is not a JSON object"},
      {R"({"timestamp": {"t": 1}})", "Stats: 'timestamp' in the statistics event is not a string"},
      {R"({"stats": 5})", "Stats: 'stats' in the statistics event is not an object"},
      {R"({"stats": {"app_layer": []}})",
       "Stats: 'stats.app_layer' in the statistics event is not an object"},
      {R"({"stats": {"flow": 7}})", "Stats: 'stats.flow' in the statistics event is not an object"},
      {R"({"stats": {"flow": {"memuse": "1"}}})",
       "Stats: counter 'stats.flow.memuse' in the statistics event is not a 64-bit integer"},
      {R"({"stats": {"decoder": {"icmpv6": [1]}}})",
       "Stats: counter 'stats.decoder.icmpv6' in the statistics event is not a 64-bit integer"},
      {R"({"stats": {"decoder": {"pkts": "12"}}})",
       "Stats: counter 'stats.decoder.pkts' in the statistics event is not a 64-bit integer"},
      {R"({"stats": {"uptime": 9223372036854775808}})",
       "Stats: counter 'stats.uptime' in the statistics event is not a 64-bit integer"},
      {R"({"stats": {"detect": {"alert": true}}})",
       "Stats: counter 'stats.detect.alert' in the statistics event is not a 64-bit integer"},
      {R"({"stats": {"detect": {"alert": 1e300}}})",
       "Stats: counter 'stats.detect.alert' in the statistics event is not a 64-bit integer"},
  };
  for (const auto& [event, message] : cases) {
    SCOPED_TRACE(event);
    try {
      StatsItem::parse(event);
      ADD_FAILURE() << "no exception";
    } catch (const StatsException& e) {
      EXPECT_EQ(std::string(e.what()).rfind(message, 0), 0u) << e.what();
    }
  }
}

TEST(StatsItemTest, DefaultRecordIsZeroWithTheLocalTimeNow) {
  const StatsItem item;
  EXPECT_TRUE(std::regex_match(item.timestamp, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)")))
      << item.timestamp;
  const Json::Value json = item.toJson();
  for (const std::string& name : json.getMemberNames()) {
    if (name != "timestamp") {
      EXPECT_EQ(json[name].asDouble(), 0.0) << name;
    }
  }
}

TEST(StatsItemTest, JsonHasTheTwentyNineMembersInKeyOrder) {
  StatsItem item = StatsItem::parse(kFullEvent);
  item.memuse_resident = 4000;
  item.memuse_virtual = 1.5;
  item.total_alerts = 3;
  Json::StreamWriterBuilder compact;
  compact["indentation"] = "";
  EXPECT_EQ(Json::writeString(compact, item.toJson()),
            R"({"decoder_bytes":123456789012,"decoder_icmp4":30,"decoder_icmp6":20,)"
            R"("decoder_ipv4":800,"decoder_ipv6":200,"decoder_pkts":1000,"decoder_tcp":600,)"
            R"("decoder_udp":350,"detect_alert":42,"dhcp_acks":0,"dhcp_discovers":0,)"
            R"("dhcp_inform":0,"dhcp_offers":0,"dhcp_requests":0,"dns_answers":0,)"
            R"("dns_queries":0,"flow_http":11,"flow_memuse":4096,"flow_tls":12,)"
            R"("http_requests":0,"http_responses":0,"kernel_drops":7,"kernel_packets":900,)"
            R"("memuse_resident":4000.0,"memuse_virtual":1.5,)"
            R"("timestamp":"2024-05-01T13:45:10.123456+0200","tls_sessions":12,)"
            R"("total_alerts":3,"uptime":3600})");
}

}  // namespace
