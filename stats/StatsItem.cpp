// The snapshot record: its default, its reading from a statistics event and
// its JSON form.
#include "stats/StatsItem.h"

#include <ctime>
#include <memory>

#include <json/reader.h>

#include "common/EventJson.h"
#include "common/Log.h"

namespace {

// The time now as local time in the form "%Y-%m-%d %X" (HH:MM:SS for %X in
// the classic locale).
std::string localTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(text, length);
}

// Member `name` of `group` (which sits at `path`), or null when the group is
// absent. Throws StatsException when the group is something other than an object.
const Json::Value& member(const Json::Value& group, const std::string& path, const char* name) {
  static const Json::Value kNull;
  if (group.isNull()) return kNull;
  if (!group.isObject()) {
    throw StatsException("Stats: '" + path + "' in the statistics event is not an object");
  }
  return group[name];
}

// A counter: 0 when absent or null, its integer value otherwise (a real is
// truncated). Throws StatsException when it is not a number that fits in 64 bits.
int64_t counter(const Json::Value& group, const std::string& groupPath, const char* name) {
  const Json::Value& value = member(group, groupPath, name);
  if (value.isNull()) return 0;
  if (value.isInt64()) return value.asInt64();
  // 2^63 is exactly representable; every double below it converts safely.
  constexpr double kLimit = 9223372036854775808.0;
  if (value.isDouble() && value.asDouble() > -kLimit && value.asDouble() < kLimit) {
    return static_cast<int64_t>(value.asDouble());
  }
  const std::string path = groupPath.empty() ? name : groupPath + "." + name;
  throw StatsException("Stats: counter '" + path +
                       "' in the statistics event is not a 64-bit integer");
}

}  // namespace

StatsItem::StatsItem() : timestamp(localTimeNow()) {}

StatsItem StatsItem::parse(const std::string& text) {
  return parse(text.data(), text.data() + text.size());
}

StatsItem StatsItem::parse(const char* begin, const char* end) {
  // One reader per worker thread: the series parse every entry of "stats".
  thread_local const std::unique_ptr<Json::CharReader> reader = event_json::makeLenientReader();
  Json::Value root;
  std::string errors;
  if (!reader->parse(begin, end, &root, &errors)) {
    logging::alert("Error parsing the string");
    errors.erase(errors.find_last_not_of('\n') + 1);
    throw StatsException("Error parsing the string: " + errors);
  }
  if (!root.isObject()) throw StatsException("Stats: the statistics event is not a JSON object");

  StatsItem item;
  const Json::Value& time = root["timestamp"];
  if (time.isNull()) {
    item.timestamp = "unknown";
  } else if (time.isString()) {
    item.timestamp = time.asString();
  } else {
    throw StatsException("Stats: 'timestamp' in the statistics event is not a string");
  }

  const Json::Value& stats = root["stats"];
  const Json::Value& decoder = member(stats, "stats", "decoder");
  const Json::Value& capture = member(stats, "stats", "capture");
  const Json::Value& detect = member(stats, "stats", "detect");
  const Json::Value& flow = member(member(stats, "stats", "app_layer"), "stats.app_layer", "flow");

  item.decoder_pkts = counter(decoder, "stats.decoder", "pkts");
  item.decoder_bytes = counter(decoder, "stats.decoder", "bytes");
  item.decoder_ipv4 = counter(decoder, "stats.decoder", "ipv4");
  item.decoder_ipv6 = counter(decoder, "stats.decoder", "ipv6");
  item.decoder_tcp = counter(decoder, "stats.decoder", "tcp");
  item.decoder_udp = counter(decoder, "stats.decoder", "udp");
  item.decoder_icmp4 = counter(decoder, "stats.decoder", "icmp4");
  item.decoder_icmp6 = counter(decoder, "stats.decoder", "icmp6");
  item.kernel_drops = counter(capture, "stats.capture", "kernel_drops");
  item.kernel_packets = counter(capture, "stats.capture", "kernel_packets");
  item.detect_alert = counter(detect, "stats.detect", "alert");
  item.flow_http = counter(flow, "stats.app_layer.flow", "http");
  item.flow_tls = counter(flow, "stats.app_layer.flow", "tls");
  item.flow_memuse = counter(flow, "stats.app_layer.flow", "memuse");
  item.uptime = counter(stats, "stats", "uptime");
  item.tls_sessions = item.flow_tls;
  return item;
}

Json::Value StatsItem::toJson() const {
  Json::Value json(Json::objectValue);
  json["timestamp"] = timestamp;
  const std::pair<const char*, int64_t> counters[] = {
      {"uptime", uptime},
      {"decoder_pkts", decoder_pkts},
      {"decoder_bytes", decoder_bytes},
      {"decoder_tcp", decoder_tcp},
      {"decoder_udp", decoder_udp},
      {"decoder_ipv4", decoder_ipv4},
      {"decoder_ipv6", decoder_ipv6},
      {"decoder_icmp4", decoder_icmp4},
      {"decoder_icmp6", decoder_icmp6},
      {"kernel_packets", kernel_packets},
      {"kernel_drops", kernel_drops},
      {"detect_alert", detect_alert},
      {"flow_http", flow_http},
      {"flow_tls", flow_tls},
      {"flow_memuse", flow_memuse},
      {"tls_sessions", tls_sessions},
      {"http_requests", http_requests},
      {"http_responses", http_responses},
      {"dns_queries", dns_queries},
      {"dns_answers", dns_answers},
      {"dhcp_discovers", dhcp_discovers},
      {"dhcp_offers", dhcp_offers},
      {"dhcp_requests", dhcp_requests},
      {"dhcp_acks", dhcp_acks},
      {"dhcp_inform", dhcp_inform},
      {"total_alerts", total_alerts},
  };
  for (const auto& [name, value] : counters) json[name] = Json::Int64(value);
  json["memuse_resident"] = memuse_resident;
  json["memuse_virtual"] = memuse_virtual;
  return json;
}
