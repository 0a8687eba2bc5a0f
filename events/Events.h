// The event routes: Suricata events and alerts served from the Redis lists
// that the companion daemon ferryd fills. Handlers reply 200 on success and
// 500 with the exception's text otherwise; every reply carries
// "Access-Control-Allow-Origin: *".
#ifndef EVENTS_EVENTS_H_
#define EVENTS_EVENTS_H_

#include <pistache/http.h>
#include <pistache/router.h>

class Events {
 public:
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

  // GET "/events/find/:event_type", query "offset", "limit" as above and the
  // optional filters "src_ip", "src_port", "des_ip", "des_port", "proto":
  // the events of the page that match every filter given, application/json.
  static void HandlegetEventsByParameters(const Pistache::Rest::Request& request,
                                          Pistache::Http::ResponseWriter response);
  // GET "/events/check/:event_type", query "offset", "limit" and "timeshift"
  // (default "1", whole hours): the events of the page stamped within the last
  // timeshift hours. 400 "Invalid timeshift parameter" for a timeshift that is
  // no int; 500 "Error processing request" / "Invalid Redis response" for bad
  // Redis replies, "An error occurred while processing the request" otherwise.
  static void getEventsByTimeshift(const Pistache::Rest::Request& request,
                                   Pistache::Http::ResponseWriter response);
  // GET "/events/fast": fast.log with its last line first, no content type.
  static void handleFastLogRequest(const Pistache::Rest::Request& request,
                                   Pistache::Http::ResponseWriter response);
  // GET "/events/alertsmap", query "limit" (default "100", inclusive stop
  // index): the first alerts in short form with the geolocation of both ends.
  static void HandlegetAlertsShortEvents(const Pistache::Rest::Request& request,
                                         Pistache::Http::ResponseWriter response);
  // GET "/events/alertssignatures": alert counts per signature over the whole
  // "alert" list ("offset" and "limit" are read but change nothing).
  static void HandlegetAlertsSignatures(const Pistache::Rest::Request& request,
                                        Pistache::Http::ResponseWriter response);
  // GET "/events/alertsbyhours" and "/events/anomaliesbyhours": counts per
  // local hour over the last 24 hours, as an object keyed "%Y-%m-%dT%H".
  static void HandlegetAlertsByHours(const Pistache::Rest::Request& request,
                                     Pistache::Http::ResponseWriter response);
  static void HandlegetAnomaliesByHours(const Pistache::Rest::Request& request,
                                        Pistache::Http::ResponseWriter response);
};

#endif  // EVENTS_EVENTS_H_
