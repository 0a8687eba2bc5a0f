// The network data operations: the live map and the address history.
#include "common/Log.h"
#include "net/Net.h"

#include "common/RedisWrapper.h"
#include "net/AddressHistory.h"
#include "net/NetDiscovery.h"

std::string Net::getNetworkMap() {
  std::string map = get_net_map();
  if (map.empty()) {
    logging::alert("Error getting net data");
    throw NetException("Failed to get net map.");
  }
  return map;
}

std::string Net::getHistoricalNetworkMap() {
  try {
    RedisWrapper redis;
    return process_events_and_output(redis);
  } catch (const std::exception&) {
    logging::alert("Error getting net history data");
    throw NetException("Failed to get historical net data.");
  }
}
