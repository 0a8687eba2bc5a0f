// Suricata events and alerts served from the Redis lists that the companion
// daemon ferryd fills, one list per event type, one eve JSON text per element.
// Handlers reply 200 on success and 500 with the exception's text otherwise;
// every reply carries "Access-Control-Allow-Origin: *".
#ifndef EVENTS_EVENTS_H_
#define EVENTS_EVENTS_H_

#include <cstdint>
#include <string>

#include <json/value.h>
#include <pistache/http.h>
#include <pistache/router.h>

#include "events/EventsException.h"

class Events {
 public:
  // Adds the Events cross-origin header; the first step of every Events handler.
  static void addCORSHeaders(Pistache::Http::ResponseWriter& response);

  // ---- Handlers -----------------------------------------------------------

  // GET "/events/:event_type", query "offset" (default "0") and "limit"
  // (default "100"): JSON array, application/json.
  static void HandlegetEventsByType(const Pistache::Rest::Request& request,
                                    Pistache::Http::ResponseWriter response);
  // GET "/events/count/:event_type": the list length as bare decimal digits.
  static void HandlegetEventsCountByType(const Pistache::Rest::Request& request,
                                         Pistache::Http::ResponseWriter response);
  // GET "/events/:event_type/:event_id": one event object, application/json.
  static void HandlegetEventById(const Pistache::Rest::Request& request,
                                 Pistache::Http::ResponseWriter response);
  // GET "/events/search/:flow_id": the first event of that flow, or null.
  static void HandlesearchEventByFlowId(const Pistache::Rest::Request& request,
                                        Pistache::Http::ResponseWriter response);
  // DELETE "/events/delete/:event_type": "Events deleted successfuly", text/html.
  static void HandledeleteEvents(const Pistache::Rest::Request& request,
                                 Pistache::Http::ResponseWriter response);

  // ---- Data operations (Redis through RedisWrapper; no HTTP) ---------------

  // "LRANGE type offset limit" with both bounds as given (limit is the
  // inclusive stop index). Throws EventsException when the reply is missing or
  // not an array, or when any element is not JSON: never a partial result.
  static Json::Value getEventsByType(const std::string& type, const std::string& offset,
                                     const std::string& limit);

  // "LLEN type": 0 for a missing list. Throws EventsException when the key
  // holds no list.
  static int64_t getEventsCountByType(const std::string& type);

  // "LINDEX type id", id 0-based and negative from the tail. Throws
  // std::invalid_argument / std::out_of_range ("stoll") for an id that is not a
  // 64-bit number, EventsException "Events: Event not found" past the end.
  static Json::Value getEventById(const std::string& type, const std::string& id);

  // Scans every list key for the first event whose "flow_id" text equals
  // `flow_id`; elements that are not JSON are logged and skipped. Returns JSON
  // null when nothing matches.
  static Json::Value searchEventByFlowId(const std::string& flow_id);

  // "DEL type": true when deleted. Throws EventsException
  // "Events: Key not found or not deleted" when there was no such key.
  static bool deleteEvents(const std::string& type);
};

#endif  // EVENTS_EVENTS_H_
