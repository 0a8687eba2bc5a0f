// HTTP handlers of the event list routes: read the request, call the data
// operation, send one reply. Any exception becomes 500 with its text.
#include "events/Events.h"

#include <string>

#include "server/Cors.h"
#include "server/Reply.h"

using Pistache::Http::Code;
using Pistache::Http::ResponseWriter;
using Pistache::Rest::Request;

void Events::addCORSHeaders(ResponseWriter& response) { cors::addOriginOnly(response); }

void Events::HandlegetEventsByType(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    const std::string type = reply::pathParam(request, ":event_type");
    const std::string offset = reply::queryOr(request, "offset", "0");
    const std::string limit = reply::queryOr(request, "limit", "100");
    reply::sendJson(response, getEventsByType(type, offset, limit));
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
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
  try {
    const std::string type = reply::pathParam(request, ":event_type");
    const std::string id = reply::pathParam(request, ":event_id");
    reply::sendJson(response, getEventById(type, id));
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}

void Events::HandlesearchEventByFlowId(const Request& request, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    reply::sendJson(response, searchEventByFlowId(reply::pathParam(request, ":flow_id")));
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
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
