// HTTP handlers of the network routes: read nothing, call the data
// operation, answer its text unchanged with no content type, or 500 with the
// error's text.
#include "http/Frame.h"
#include "net/AddressHistory.h"
#include "net/Net.h"
#include "net/NetDiscovery.h"

using http::Request;

namespace {

constexpr http::Cors kCors = http::Cors::kOriginOnly;

}  // namespace

// The map may wait on reverse lookups of its neighbours' names.
http::Handler Net::HandlegetNetworkMap() {
  return {{kCors}, [](const Request&) { return http::text(net::getNetworkMap()); }};
}

http::Handler Net::HandlegetHistoricalNetworkMap() {
  return {{kCors}, [](const Request&) { return http::text(net::getHistoricalNetworkMap()); }};
}
