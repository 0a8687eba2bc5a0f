// HTTP handlers of the event routes: read the request, call the data
// operation, send one reply. Any exception becomes 500 with its text, except
// where a handler says otherwise.
#include "events/Events.h"

#include <syslog.h>

#include <optional>
#include <string>

#include "server/Cors.h"
#include "server/Reply.h"

using Pistache::Http::Code;
using Pistache::Http::ResponseWriter;
using Pistache::Rest::Request;

namespace {

// Page bounds of the list routes: "offset" (default "0") and "limit" (default
// "100"), Redis LRANGE start and inclusive stop.
std::string offsetOf(const Request& request) { return reply::queryOr(request, "offset", "0"); }
std::string limitOf(const Request& request) { return reply::queryOr(request, "limit", "100"); }

// An optional filter key: absent, or present with its text (possibly empty).
std::optional<std::string> filterOf(const Request& request, const char* key) {
  return request.query().get(key);
}

// Replies 200 with the JSON value that `produce` returns, or 500 with the text
// of what it throws. The handlers of every JSON route but the time window.
template <typename Produce>
void sendJsonFrom(ResponseWriter& response, const Produce& produce) {
  try {
    reply::sendJson(response, produce());
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}

}  // namespace

void Events::addCORSHeaders(ResponseWriter& response) { cors::addOriginOnly(response); }

void Events::HandlegetEventsByType(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  sendJsonFrom(response, [&] {
    return getEventsByType(reply::pathParam(request, ":event_type"), offsetOf(request),
                           limitOf(request));
  });
}

void Events::HandlegetEventsCountByType(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    const int64_t count = getEventsCountByType(reply::pathParam(request, ":event_type"));
    reply::sendText(response, Code::Ok, std::to_string(count));
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}

void Events::HandlegetEventById(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  sendJsonFrom(response, [&] {
    return getEventById(reply::pathParam(request, ":event_type"),
                        reply::pathParam(request, ":event_id"));
  });
}

void Events::HandlesearchEventByFlowId(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  sendJsonFrom(response,
               [&] { return searchEventByFlowId(reply::pathParam(request, ":flow_id")); });
}

void Events::HandledeleteEvents(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    deleteEvents(reply::pathParam(request, ":event_type"));
    response.send(Code::Ok, "Events deleted successfuly", MIME(Text, Html));
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}

void Events::HandlegetEventsByParameters(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  sendJsonFrom(response, [&] {
    return getEventsByParameters(reply::pathParam(request, ":event_type"), offsetOf(request),
                                 limitOf(request), filterOf(request, "src_ip"),
                                 filterOf(request, "src_port"), filterOf(request, "des_ip"),
                                 filterOf(request, "des_port"), filterOf(request, "proto"));
  });
}

void Events::getEventsByTimeshift(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    const std::string type = reply::pathParam(request, ":event_type");
    const std::string timeshift = reply::queryOr(request, "timeshift", "1");
    int hours = 0;
    try {
      hours = std::stoi(timeshift);
    } catch (const std::logic_error& e) {  // invalid_argument or out_of_range
      syslog(LOG_ALERT, "Events: Invalid timeshift value: %s, error: %s", timeshift.c_str(),
             e.what());
      reply::sendText(response, Code::Bad_Request, "Invalid timeshift parameter");
      return;
    }
    reply::sendJson(response, getEventsByTime(type, offsetOf(request), limitOf(request), hours));
  } catch (const EventsException& e) {
    reply::sendError(response, e.what());
  } catch (const std::exception& e) {
    syslog(LOG_ALERT, "Events: Exception in getEventsByTimeshift: %s", e.what());
    reply::sendError(response, "An error occurred while processing the request");
  }
}

void Events::handleFastLogRequest(const Request& /*request*/, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    reply::sendText(response, Code::Ok, readFastLog());
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}

void Events::HandlegetAlertsShortEvents(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  sendJsonFrom(response, [&] { return getAlertsShortEvents(limitOf(request)); });
}

void Events::HandlegetAlertsSignatures(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  sendJsonFrom(response, [&] { return getAlertsSignatures(limitOf(request)); });
}

void Events::HandlegetAlertsByHours(const Request& /*request*/, ResponseWriter response) {
  addCORSHeaders(response);
  sendJsonFrom(response, [] { return getHourlyAlertCountLast24h(); });
}

void Events::HandlegetAnomaliesByHours(const Request& /*request*/, ResponseWriter response) {
  addCORSHeaders(response);
  sendJsonFrom(response, [] { return getHourlyAnomalyCountLast24h(); });
}
