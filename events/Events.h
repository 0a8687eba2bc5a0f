// The event routes: Suricata events and alerts served from the Redis lists
// that the companion daemon ferryd fills. Handlers reply 200 on success and
// 500 with the exception's text otherwise; every reply carries
// "Access-Control-Allow-Origin: *".
#ifndef EVENTS_EVENTS_H_
#define EVENTS_EVENTS_H_

#include "http/Frame.h"

class Events {
 public:
  // GET "/events/:event_type", query "offset" (default "0") and "limit"
  // (default "100"): JSON array, application/json.
  static http::Handler HandlegetEventsByType();
  // GET "/events/count/:event_type": the list length as bare decimal digits.
  static http::Handler HandlegetEventsCountByType();
  // GET "/events/:event_type/:event_id": one event object, application/json.
  static http::Handler HandlegetEventById();
  // GET "/events/search/:flow_id": the first event of that flow, or null.
  static http::Handler HandlesearchEventByFlowId();
  // GET "/events/stream/:event_type", header "Last-Event-ID" (optional): a
  // live stream of the events added to the list from now on (or since the
  // length the client names), text/event-stream (events/LiveEvents.h).
  // 503 with Retry-After when every stream's place is taken; a key that
  // holds no list and Redis failures as the count route answers them.
  static http::Handler HandlegetEventStream();
  // DELETE "/events/delete/:event_type": "Events deleted successfuly", text/html.
  static http::Handler HandledeleteEvents();

  // GET "/events/find/:event_type", query "offset", "limit" as above and the
  // optional filters "src_ip", "src_port", "des_ip", "des_port", "proto":
  // the events of the page that match every filter given, application/json.
  static http::Handler HandlegetEventsByParameters();
  // GET "/events/check/:event_type", query "offset", "limit" and "timeshift"
  // (default "1", whole hours): the events of the page stamped within the last
  // timeshift hours. 400 "Invalid timeshift parameter" for a timeshift that is
  // no int; 500 "Error processing request" / "Invalid Redis response" for bad
  // Redis replies, "An error occurred while processing the request" otherwise.
  static http::Handler getEventsByTimeshift();
  // GET "/events/fast": fast.log with its last line first, no content type.
  static http::Handler handleFastLogRequest();
  // GET "/events/alertsmap", query "limit" (default "100", inclusive stop
  // index): the first alerts in short form with the geolocation of both ends.
  static http::Handler HandlegetAlertsShortEvents();
  // GET "/events/alertssignatures": alert counts per signature over the whole
  // "alert" list ("offset" and "limit" are read but change nothing).
  static http::Handler HandlegetAlertsSignatures();
  // GET "/events/alertsbyhours" and "/events/anomaliesbyhours": counts per
  // local hour over the last 24 hours, as an object keyed "%Y-%m-%dT%H".
  static http::Handler HandlegetAlertsByHours();
  static http::Handler HandlegetAnomaliesByHours();
};

#endif  // EVENTS_EVENTS_H_
