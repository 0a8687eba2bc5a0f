// Network map inputs: the text of "/proc/net/arp" with names from reverse
// lookups, the map text written from them, and the source addresses read
// from stored events. Input: ARP text, host name and event text, separated by
// NUL bytes. The map must stay JSON that lists every neighbour.
#include <arpa/inet.h>
#include <json/reader.h>

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "common/EventJson.h"
#include "fuzz/FuzzSupport.h"
#include "net/AddressHistory.h"
#include "net/NetDiscovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> parts = fuzz::fields(data, size, 3);
  const std::string& hostName = parts[1];

  const ArpTable table = net::parseARPTable(parts[0], [&](const std::string&) { return hostName; });
  std::vector<InterfaceInfo> interfaces;
  size_t neighbours = 0;
  for (const auto& [device, entries] : table) {
    interfaces.push_back({device, "192.0.2.1", "255.255.255.0", {}});
    neighbours += entries.size();
    for (const DeviceInfo& entry : entries) FUZZ_CHECK(entry.hostname == hostName);
  }
  const std::string map = net::get_net_map(interfaces, table);
  Json::Value parsed;
  std::string error;
  FUZZ_CHECK(event_json::parse(*event_json::makeReader(), map.data(), map.data() + map.size(),
                               parsed, error));
  FUZZ_CHECK(parsed.isArray() && parsed.size() == interfaces.size());
  size_t shown = 0;
  for (const Json::Value& entry : parsed) shown += entry["devices"].size();
  FUZZ_CHECK(shown == neighbours);

  std::set<std::string> addresses;
  const std::unique_ptr<Json::CharReader> reader = event_json::makeReader();
  const std::string& event = parts[2];
  net::addSourceIpv4(*reader, event.data(), event.data() + event.size(), addresses);
  for (const std::string& address : addresses) {
    in_addr parsedAddress{};
    FUZZ_CHECK(inet_pton(AF_INET, address.c_str(), &parsedAddress) == 1 ||
               inet_aton(address.c_str(), &parsedAddress) != 0);
  }
  return 0;
}
