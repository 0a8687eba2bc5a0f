// The snapshot record: its default, its reading from a statistics event and
// its JSON form.
#include "stats/StatsItem.h"

#include <json/reader.h>

#include <array>
#include <ctime>
#include <memory>
#include <optional>
#include <string_view>

#include "common/EventJson.h"
#include "common/FastEvent.h"
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

StatsItem::StatsItem(Blank) {}

StatsItem StatsItem::parse(const std::string& text) {
  return parse(text.data(), text.data() + text.size());
}

namespace {

// The groups on the counters' paths, each named by its path, in the order
// they are read: "stats.flow" after "stats.app_layer.flow".
enum Group { kStats, kDecoder, kCapture, kDetect, kAppLayerFlow, kFlow, kGroups };
constexpr const char* kGroupPath[kGroups] = {
    "stats",        "stats.decoder",        "stats.capture",
    "stats.detect", "stats.app_layer.flow", "stats.flow"};

// Every counter a statistics event gives, in the order they are read. Where
// a field has two paths, the older spelling ("decoder.icmp4",
// "app_layer.flow.memuse") is read first and the one Suricata writes
// ("decoder.icmpv4", "flow.memuse") after it: a counter that is present and
// not null wins, so the older path counts only where the real one is absent.
struct CounterField {
  int64_t StatsItem::*field;
  Group group;
  const char* name;
};
constexpr CounterField kCounters[] = {
    {&StatsItem::decoder_pkts, kDecoder, "pkts"},
    {&StatsItem::decoder_bytes, kDecoder, "bytes"},
    {&StatsItem::decoder_ipv4, kDecoder, "ipv4"},
    {&StatsItem::decoder_ipv6, kDecoder, "ipv6"},
    {&StatsItem::decoder_tcp, kDecoder, "tcp"},
    {&StatsItem::decoder_udp, kDecoder, "udp"},
    {&StatsItem::decoder_icmp4, kDecoder, "icmp4"},
    {&StatsItem::decoder_icmp4, kDecoder, "icmpv4"},
    {&StatsItem::decoder_icmp6, kDecoder, "icmp6"},
    {&StatsItem::decoder_icmp6, kDecoder, "icmpv6"},
    {&StatsItem::kernel_drops, kCapture, "kernel_drops"},
    {&StatsItem::kernel_packets, kCapture, "kernel_packets"},
    {&StatsItem::detect_alert, kDetect, "alert"},
    {&StatsItem::flow_http, kAppLayerFlow, "http"},
    {&StatsItem::flow_tls, kAppLayerFlow, "tls"},
    {&StatsItem::flow_memuse, kAppLayerFlow, "memuse"},
    {&StatsItem::flow_memuse, kFlow, "memuse"},
    {&StatsItem::uptime, kStats, "uptime"},
};

// Most counters one group holds (the decoder's ten).
constexpr size_t kMostInGroup = 10;

using simdjson::dom::element;

// A member name's length, first and last byte in one word: the names looked
// for differ in it, so that one comparison rules out all but one of them.
uint32_t signature(std::string_view name) {
  if (name.empty()) return 0;
  return static_cast<uint32_t>(name.size() & 0xFFFF) |
         static_cast<uint32_t>(static_cast<unsigned char>(name.front())) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(name.back())) << 24;
}

// The index in `names` (with their `signatures`) of the name `key` is, or
// `count` when it is none of them.
size_t indexOf(std::string_view key, const std::string_view* names, const uint32_t* signatures,
               size_t count) {
  const uint32_t mark = signature(key);
  for (size_t i = 0; i < count; ++i) {
    if (signatures[i] == mark && key == names[i]) return i;
  }
  return count;
}

// In one pass over the members of `object`: for each of the `count` names
// (with their signatures), the value of the last member of that name (as
// jsoncpp keeps it), at the name's index in `found`; names without a member
// leave their slot as it is.
void lastMembers(element object, const std::string_view* names, const uint32_t* signatures,
                 size_t count, std::optional<element>* found) {
  for (const simdjson::dom::key_value_pair field : simdjson::dom::object(object)) {
    const size_t i = indexOf(field.key, names, signatures, count);
    if (i < count) found[i] = field.value;
  }
}

template <size_t N>
void lastMembers(element object, const std::string_view (&names)[N],
                 std::optional<element> (&found)[N]) {
  uint32_t signatures[N];
  for (size_t i = 0; i < N; ++i) signatures[i] = signature(names[i]);
  lastMembers(object, names, signatures, N, found);
}

// Whether a group on the counters' paths may be read: absent, null or an object.
bool readable(const std::optional<element>& group) {
  return !group || group->is_null() || group->is_object();
}

// The counters of each group, in table order.
struct GroupCounters {
  std::string_view names[kMostInGroup];
  uint32_t signatures[kMostInGroup];
  int64_t StatsItem::*fields[kMostInGroup];
  size_t count = 0;
};
const GroupCounters& countersOf(Group group) {
  static const auto table = [] {
    std::array<GroupCounters, kGroups> byGroup{};
    for (const CounterField& field : kCounters) {
      GroupCounters& counters = byGroup[field.group];
      counters.names[counters.count] = field.name;
      counters.signatures[counters.count] = signature(field.name);
      counters.fields[counters.count++] = field.field;
    }
    return byGroup;
  }();
  return table[group];
}

// The counters of `group` (an object) into `item`; false when one is neither
// null nor a signed 64-bit integer.
bool readCounters(element group, Group which, StatsItem& item) {
  const GroupCounters& counters = countersOf(which);
  std::optional<element> found[kMostInGroup];
  lastMembers(group, counters.names, counters.signatures, counters.count, found);
  for (size_t i = 0; i < counters.count; ++i) {
    if (!found[i] || found[i]->is_null()) continue;
    if (!found[i]->is_int64()) return false;
    item.*counters.fields[i] = int64_t(*found[i]);
  }
  return true;
}

// The event read by simdjson when it is an object whose timestamp is a string
// or null and whose groups and counters are all absent, null, objects and
// signed 64-bit integers where expected. Anything else (real numbers
// included) is nullopt, and jsoncpp reads it to convert or to name the fault.
// Each object on the counters' paths is walked once.
std::optional<StatsItem> fastParse(fast_event::Parser& fast, const char* begin, const char* end,
                                   StatsItem item) {
  if (!fast.parse(begin, static_cast<size_t>(end - begin)) || !fast.root().is_object()) {
    return std::nullopt;
  }
  static constexpr std::string_view kTop[] = {"timestamp", "stats"};
  std::optional<element> top[2];
  lastMembers(fast.root(), kTop, top);
  const std::optional<element>& time = top[0];
  if (!time || time->is_null()) {
    item.timestamp = "unknown";
  } else if (const std::optional<std::string_view> text = fast_event::string(time)) {
    item.timestamp = std::string(*text);
  } else {
    return std::nullopt;
  }

  std::optional<element> groups[kGroups];
  groups[kStats] = top[1];
  if (!readable(groups[kStats])) return std::nullopt;
  if (groups[kStats] && groups[kStats]->is_object()) {
    static constexpr std::string_view kInStats[] = {"decoder", "capture", "detect", "app_layer",
                                                    "flow"};
    std::optional<element> inStats[5];
    lastMembers(*groups[kStats], kInStats, inStats);
    groups[kDecoder] = inStats[0];
    groups[kCapture] = inStats[1];
    groups[kDetect] = inStats[2];
    groups[kFlow] = inStats[4];
    const std::optional<element>& appLayer = inStats[3];
    if (!readable(appLayer)) return std::nullopt;
    if (appLayer && appLayer->is_object()) {
      static constexpr std::string_view kInAppLayer[] = {"flow"};
      std::optional<element> flow[1];
      lastMembers(*appLayer, kInAppLayer, flow);
      groups[kAppLayerFlow] = flow[0];
    }
  }
  for (int group = 0; group < kGroups; ++group) {
    if (!readable(groups[group])) return std::nullopt;
  }
  for (int group = 0; group < kGroups; ++group) {
    if (!groups[group] || !groups[group]->is_object()) continue;
    if (!readCounters(*groups[group], static_cast<Group>(group), item)) return std::nullopt;
  }
  item.tls_sessions = item.flow_tls;
  return item;
}

}  // namespace

StatsItem StatsItem::parse(const char* begin, const char* end) {
  // One parser per worker thread: the series parse every entry of "stats".
  thread_local fast_event::Parser fast;
  if (std::optional<StatsItem> item = fastParse(fast, begin, end, StatsItem(Blank()))) {
    return std::move(*item);
  }

  thread_local const std::unique_ptr<Json::CharReader> reader = event_json::makeLenientReader();
  Json::Value root;
  std::string errors;
  if (!reader->parse(begin, end, &root, &errors)) {
    logging::alert("Error parsing the string");
    errors.erase(errors.find_last_not_of('\n') + 1);
    throw StatsException("Error parsing the string: " + errors);
  }
  if (!root.isObject()) throw StatsException("Stats: the statistics event is not a JSON object");

  StatsItem item{Blank()};
  const Json::Value& time = root["timestamp"];
  if (time.isNull()) {
    item.timestamp = "unknown";
  } else if (time.isString()) {
    item.timestamp = time.asString();
  } else {
    throw StatsException("Stats: 'timestamp' in the statistics event is not a string");
  }

  const Json::Value* groups[kGroups];
  groups[kStats] = &root["stats"];
  groups[kDecoder] = &member(*groups[kStats], "stats", "decoder");
  groups[kCapture] = &member(*groups[kStats], "stats", "capture");
  groups[kDetect] = &member(*groups[kStats], "stats", "detect");
  groups[kAppLayerFlow] =
      &member(member(*groups[kStats], "stats", "app_layer"), "stats.app_layer", "flow");
  groups[kFlow] = &member(*groups[kStats], "stats", "flow");
  // In table order, an absent or null counter leaving what an earlier path gave.
  for (const CounterField& field : kCounters) {
    if (member(*groups[field.group], kGroupPath[field.group], field.name).isNull()) continue;
    item.*field.field = counter(*groups[field.group], kGroupPath[field.group], field.name);
  }
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
