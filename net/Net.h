// The network endpoints: the live map of the host's IPv4 interfaces with
// their ARP neighbours, and the history of IPv4 source addresses seen in the
// stored events. Handlers reply 200 with the text and no content type, or 500
// with the exception's text; every reply carries "Access-Control-Allow-Origin: *".
#ifndef NET_NET_H_
#define NET_NET_H_

#include <string>

#include <pistache/http.h>
#include <pistache/router.h>

#include "net/NetException.h"

class Net {
 public:
  // ---- Handlers -----------------------------------------------------------

  // GET "/net/map/": the map text of getNetworkMap.
  static void HandlegetNetworkMap(const Pistache::Rest::Request& request,
                                  Pistache::Http::ResponseWriter response);
  // GET "/net/historicalmap/": the document of getHistoricalNetworkMap, or
  // 500 "Failed to get historical net data.".
  static void HandlegetHistoricalNetworkMap(const Pistache::Rest::Request& request,
                                            Pistache::Http::ResponseWriter response);

  // ---- Data operations (no HTTP) -------------------------------------------

  // The live map text (get_net_map). Throws NetException "Failed to get net
  // map." (logged "Error getting net data") should the text be empty.
  static std::string getNetworkMap();

  // The address history of the lists named by
  // application.settings.statistical_events. Throws NetException "Failed to
  // get historical net data." (logged "Error getting net history data") on any
  // failure, typically Redis unreachable; configuration failures are not
  // failures here (see readStatisticalEvents).
  static std::string getHistoricalNetworkMap();
};

#endif  // NET_NET_H_
