// HTTP handlers of the event routes: read the request, call the data
// operation, return one reply. Any exception becomes 500 with its text, except
// where a handler says otherwise.
#include <string>
#include <utility>

#include "common/Log.h"
#include "events/AlertAggregates.h"
#include "events/AlertMap.h"
#include "events/EventFilters.h"
#include "events/EventLists.h"
#include "events/Events.h"
#include "events/FastLog.h"
#include "events/LiveEvents.h"
#include "http/Frame.h"
#include "http/Request.h"

using http::Request;
using http::Status;

namespace {

constexpr http::Cors kCors = http::Cors::kOriginOnly;
// Where each route's body runs is its row's kind in the route table.
constexpr http::Frame kPage{kCors};

// Page bounds of the list routes: "offset" (default "0") and "limit" (default
// "100"), Redis LRANGE start and inclusive stop.
std::string offsetOf(const Request& request) { return http::queryOr(request, "offset", "0"); }
std::string limitOf(const Request& request) { return http::queryOr(request, "limit", "100"); }

std::string typeOf(const Request& request) { return http::pathParam(request, ":event_type"); }

std::string typeSubject(const Request& request) {
  return "type=" + http::audit::quoted(typeOf(request), 80);
}
// The deletion changes state: it is audited with the type it empties.
constexpr http::Frame kDelete{kCors, &http::errorText, &typeSubject};

// The member filters of the find route; the destination's keys are spelled
// "des_ip" and "des_port".
events::EventMatch matchOf(const Request& request) {
  events::EventMatch match;
  match.src_ip = http::query(request, "src_ip");
  match.src_port = http::query(request, "src_port");
  match.dest_ip = http::query(request, "des_ip");
  match.dest_port = http::query(request, "des_port");
  match.proto = http::query(request, "proto");
  return match;
}

// The time window's mapping: its own failures keep their text, anything else
// is logged and answered with a general text.
http::Reply timeWindowError(const std::exception& error) {
  if (dynamic_cast<const EventsException*>(&error) != nullptr) return http::error(error.what());
  logging::alert("Events: Exception in getEventsByTimeshift: %s", error.what());
  return http::error("An error occurred while processing the request");
}

// The "timeshift" key as whole hours (default "1"); 400 when it is no int.
int timeshiftOf(const Request& request) {
  const std::string timeshift = http::queryOr(request, "timeshift", "1");
  try {
    return std::stoi(timeshift);
  } catch (const std::logic_error& e) {  // invalid_argument or out_of_range
    logging::alert("Events: Invalid timeshift value: %s, error: %s", timeshift.c_str(), e.what());
    throw http::Refusal(Status::kBadRequest, "Invalid timeshift parameter");
  }
}

}  // namespace

http::Handler Events::HandlegetEventsByType() {
  return {
      kPage, [](const Request& r) {
        int64_t total = 0;
        std::string page = events::getEventsTextByType(typeOf(r), offsetOf(r), limitOf(r), &total);
        return http::withTotalCount(http::jsonText(std::move(page)), static_cast<uint64_t>(total));
      }};
}

http::Handler Events::HandlegetEventsCountByType() {
  return {kPage, [](const Request& r) {
            return http::text(std::to_string(events::getEventsCountByType(typeOf(r))));
          }};
}

http::Handler Events::HandlegetEventById() {
  return {kPage, [](const Request& r) {
            return http::json(events::getEventById(typeOf(r), http::pathParam(r, ":event_id")));
          }};
}

http::Handler Events::HandlesearchEventByFlowId() {
  return {kPage, [](const Request& r) {
            return http::json(events::searchEventByFlowId(http::pathParam(r, ":flow_id")));
          }};
}

http::Handler Events::HandlegetEventStream() {
  return {kPage, [](const Request& r) {
            return http::eventStream(
                events::openEventStream(typeOf(r), http::header(r, "Last-Event-ID")));
          }};
}

http::Handler Events::HandledeleteEvents() {
  return {
      kDelete, [](const Request& r) {
        events::deleteEvents(typeOf(r));
        return http::Reply{Status::kOk, "Events deleted successfuly", http::ContentType::kHtml, {}};
      }};
}

http::Handler Events::HandlegetEventsByParameters() {
  return {kPage, [](const Request& r) {
            return http::json(
                events::getEventsByParameters(typeOf(r), offsetOf(r), limitOf(r), matchOf(r)));
          }};
}

http::Handler Events::getEventsByTimeshift() {
  return {{kCors, &timeWindowError}, [](const Request& r) {
            const std::string type = typeOf(r);
            const int hours = timeshiftOf(r);
            return http::json(events::getEventsByTime(type, offsetOf(r), limitOf(r), hours));
          }};
}

http::Handler Events::handleFastLogRequest() {
  return {kPage, [](const Request&) { return http::text(events::readFastLog()); }};
}

http::Handler Events::HandlegetAlertsShortEvents() {
  return {kPage, [](const Request& r) {
            return http::jsonText(events::getAlertsShortEvents(limitOf(r)));
          }};
}

http::Handler Events::HandlegetAlertsSignatures() {
  return {kPage,
          [](const Request& r) { return http::json(events::getAlertsSignatures(limitOf(r))); }};
}

http::Handler Events::HandlegetAlertsByHours() {
  return {kPage, [](const Request&) { return http::json(events::getHourlyAlertCountLast24h()); }};
}

http::Handler Events::HandlegetAnomaliesByHours() {
  return {kPage, [](const Request&) { return http::json(events::getHourlyAnomalyCountLast24h()); }};
}
