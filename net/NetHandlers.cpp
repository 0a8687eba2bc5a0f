// HTTP handlers of the network routes: read nothing, call the data
// operation, answer its text unchanged with no content type, or 500 with the
// error's text.
#include "net/Net.h"

#include "http/Frame.h"
#include "net/AddressHistory.h"
#include "net/NetDiscovery.h"

using Pistache::Http::ResponseWriter;
using Pistache::Rest::Request;

namespace {

constexpr http::Cors kCors = http::Cors::kOriginOnly;

}  // namespace

// The map may wait on reverse lookups of its neighbours' names.
void Net::HandlegetNetworkMap(const Request& request, ResponseWriter response) {
  http::serve({kCors, http::Work::kSlow}, request, response,
              [](const Request&) { return http::text(net::getNetworkMap()); });
}

void Net::HandlegetHistoricalNetworkMap(const Request& request, ResponseWriter response) {
  http::serve({kCors, http::Work::kScan}, request, response,
              [](const Request&) { return http::text(net::getHistoricalNetworkMap()); });
}
