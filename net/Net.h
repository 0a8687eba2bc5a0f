// The network routes: the live map of the host's IPv4 interfaces with their
// ARP neighbours, and the history of IPv4 source addresses seen in the stored
// events. Handlers reply 200 with the text and no content type, or 500 with
// the exception's text; every reply carries "Access-Control-Allow-Origin: *".
#ifndef NET_NET_H_
#define NET_NET_H_

#include "http/Frame.h"

class Net {
 public:
  // GET "/net/map/": the map text of net::getNetworkMap.
  static http::Handler HandlegetNetworkMap();
  // GET "/net/historicalmap/": the document of net::getHistoricalNetworkMap,
  // or 500 "Failed to get historical net data.".
  static http::Handler HandlegetHistoricalNetworkMap();
};

#endif  // NET_NET_H_
