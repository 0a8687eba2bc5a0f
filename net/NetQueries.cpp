// The network data operations: the live map and the address history.
#include "net/Net.h"

#include <syslog.h>

#include "common/RedisWrapper.h"
#include "net/AddressHistory.h"
#include "net/NetDiscovery.h"

std::string Net::getNetworkMap() {
  std::string map = get_net_map();
  if (map.empty()) {
    syslog(LOG_ALERT, "Error getting net data");
    throw NetException("Failed to get net map.");
  }
  return map;
}

std::string Net::getHistoricalNetworkMap() {
  try {
    RedisWrapper redis;
    return process_events_and_output(redis);
  } catch (const std::exception&) {
    syslog(LOG_ALERT, "Error getting net history data");
    throw NetException("Failed to get historical net data.");
  }
}
