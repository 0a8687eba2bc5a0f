// For the unit tests of the event operations: eve records in the shape the
// companion daemon stores them, one JSON text per list element, and the
// offsets of the zones the tests run under.
#ifndef EVENTS_EVENTSAMPLES_TEST_H_
#define EVENTS_EVENTSAMPLES_TEST_H_

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace event_samples {

// One flow record ("event_type": "flow"): the members the filters and the
// flow search read, in the order the sensor writes them.
inline std::string flow(const std::string& flowId, const std::string& timestamp,
                        const std::string& srcIp, int srcPort, const std::string& destIp,
                        int destPort, const std::string& proto) {
  return "{\"timestamp\":\"" + timestamp + "\",\"flow_id\":" + flowId +
         ",\"in_iface\":\"eth0\",\"event_type\":\"flow\",\"src_ip\":\"" + srcIp +
         "\",\"src_port\":" + std::to_string(srcPort) + ",\"dest_ip\":\"" + destIp +
         "\",\"dest_port\":" + std::to_string(destPort) + ",\"proto\":\"" + proto + "\"}";
}

// One alert record with its rule's members; the signature text may hold
// parentheses, colons and escaped quotes, as real rule messages do.
inline std::string alert(const std::string& timestamp, long long sid, const std::string& signature,
                         const std::string& category) {
  return "{\"timestamp\":\"" + timestamp +
         "\",\"flow_id\":1,\"event_type\":\"alert\",\"src_ip\":\"10.0.0.5\",\"src_port\":51000,"
         "\"dest_ip\":\"192.0.2.7\",\"dest_port\":443,\"proto\":\"TCP\",\"alert\":{\"action\":"
         "\"allowed\",\"gid\":1,\"signature_id\":" +
         std::to_string(sid) + ",\"rev\":3,\"signature\":\"" + signature + "\",\"category\":\"" +
         category + "\",\"severity\":2}}";
}

// Offset of the zone the tests run under at 2026-01-15 and 2026-07-15, from
// its published rules; nullopt for a zone this table does not know.
inline std::optional<std::pair<long, long>> zoneOffsets() {
  const char* zone = std::getenv("TZ");
  const std::string name = zone != nullptr ? zone : "";
  if (name == "UTC") return std::make_pair(0L, 0L);
  if (name == "Europe/Berlin") return std::make_pair(3600L, 7200L);
  return std::nullopt;
}

}  // namespace event_samples

#endif  // EVENTS_EVENTSAMPLES_TEST_H_
