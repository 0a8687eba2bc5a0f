// HTTP handlers of the network routes: read nothing, call the data
// operation, send its text unchanged with no content type.
#include "net/Net.h"

#include "server/Cors.h"
#include "server/Reply.h"

using Pistache::Http::Code;
using Pistache::Http::ResponseWriter;
using Pistache::Rest::Request;

namespace {

// Both routes: 200 with the text of `operation`, or 500 with the error's text.
void sendTextOf(ResponseWriter& response, std::string (*operation)()) {
  Net::addCORSHeaders(response);
  try {
    reply::sendText(response, Code::Ok, operation());
  } catch (const std::exception& e) {  // NetException and any other
    reply::sendError(response, e.what());
  }
}

}  // namespace

void Net::addCORSHeaders(ResponseWriter& response) { cors::addOriginOnly(response); }

void Net::HandlegetNetworkMap(const Request&, ResponseWriter response) {
  sendTextOf(response, &Net::getNetworkMap);
}

void Net::HandlegetHistoricalNetworkMap(const Request&, ResponseWriter response) {
  sendTextOf(response, &Net::getHistoricalNetworkMap);
}
