// One statistics snapshot: Suricata's counters from the head of the "stats"
// list, tallies over the dns, dhcp, http, tls and alert lists, and the memory
// use of this process.
#ifndef STATS_STATSITEM_H_
#define STATS_STATSITEM_H_

#include <json/value.h>

#include <cstdint>
#include <string>
#include <utility>

#include "stats/StatsException.h"

// The DHCP tally: number of "dhcp" events by dhcp.dhcp_type.
struct DhcpCounts {
  int64_t discovers = 0;
  int64_t offers = 0;
  int64_t requests = 0;
  int64_t acks = 0;
  int64_t informs = 0;
};

class StatsItem {
 public:
  // The default record: every number 0, `timestamp` the local time now.
  StatsItem();

  // Reads one statistics event (JSON text): "timestamp" and the counters under
  // "stats" (decoder, capture, detect, app_layer.flow, flow, uptime); of two
  // paths for a field ("decoder.icmpv4" or "decoder.icmp4", "flow.memuse" or
  // "app_layer.flow.memuse") the first one present and not null. An absent or
  // null member reads as 0, or as "unknown" for the timestamp; `tls_sessions`
  // is set from stats.app_layer.flow.tls like `flow_tls`.
  // Throws StatsException when the text is not JSON, when the event or one of
  // the groups on a counter's path is not an object, or when a counter is not
  // an integer that fits in 64 bits.
  static StatsItem parse(const std::string& text);
  // The same on the bytes [begin, end), without a copy.
  static StatsItem parse(const char* begin, const char* end);

  // The 29 fields as one JSON object, each under its own name.
  Json::Value toJson() const;

  // ---- Tallies, each on its own direct connection (no wait for the lock) ---
  // A connection that fails throws StatsException "Stats Error: Redis connection error."

  // (queries, answers): "dns" events whose dns.type is "query" or "answer".
  // Entries that are not JSON objects count for nothing. Throws StatsException
  // "Error:  Couldn't execute redisCommand" when LLEN gets no reply, and
  // "Couldn't get key valuest " when LRANGE gives no array.
  static std::pair<int64_t, int64_t> get_dns_statistic();
  // The same walk over "dhcp" by dhcp.dhcp_type, with the same errors.
  static DhcpCounts get_dhcp_statistic();
  // Length of "http", "tls" and "alert"; 0 when LLEN gives no integer.
  static int64_t get_http_sessions();
  static int64_t get_tls_sessions();
  static int64_t get_total_alerts();

  // Virtual and resident size of this process in KiB; both 0 when
  // "/proc/self/stat" cannot be read.
  static void mem_usage(double& virtualKiB, double& residentKiB);

  std::string timestamp;  // "%Y-%m-%d %X" local time by default; else as the event wrote it
  int64_t decoder_pkts = 0;
  int64_t decoder_bytes = 0;
  int64_t kernel_drops = 0;
  int64_t kernel_packets = 0;
  int64_t detect_alert = 0;
  int64_t flow_http = 0;
  int64_t flow_tls = 0;
  int64_t decoder_ipv4 = 0;
  int64_t decoder_ipv6 = 0;
  int64_t flow_memuse = 0;
  int64_t decoder_tcp = 0;
  int64_t decoder_udp = 0;
  int64_t decoder_icmp4 = 0;
  int64_t decoder_icmp6 = 0;
  int64_t tls_sessions = 0;
  int64_t http_requests = 0;
  int64_t http_responses = 0;
  int64_t dns_queries = 0;
  int64_t dns_answers = 0;
  int64_t dhcp_discovers = 0;
  int64_t dhcp_offers = 0;
  int64_t dhcp_requests = 0;
  int64_t dhcp_acks = 0;
  int64_t dhcp_inform = 0;
  int64_t total_alerts = 0;
  int64_t uptime = 0;
  double memuse_resident = 0.0;  // KiB
  double memuse_virtual = 0.0;   // KiB

 private:
  // Every number 0 and no timestamp: the record parse() fills in. Reading
  // the clock for a default it always replaces would cost more than the
  // rest of reading a statistics event.
  struct Blank {};
  explicit StatsItem(Blank);
};

#endif  // STATS_STATSITEM_H_
