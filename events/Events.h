// Suricata events and alerts served from the Redis lists that the companion
// daemon ferryd fills, one list per event type, one eve JSON text per element.
// Handlers reply 200 on success and 500 with the exception's text otherwise;
// every reply carries "Access-Control-Allow-Origin: *".
#ifndef EVENTS_EVENTS_H_
#define EVENTS_EVENTS_H_

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <json/value.h>
#include <pistache/http.h>
#include <pistache/router.h>

#include "events/AlertRecords.h"
#include "events/EventsException.h"
#include "events/Geolocation.h"

class Events {
 public:
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
  // null when nothing matches. Throws EventsException "Events: Redis command
  // error while retrieving keys" when "KEYS *" gives no list of keys.
  static Json::Value searchEventByFlowId(const std::string& flow_id);

  // "DEL type": true when deleted. Throws EventsException
  // "Events: Key not found or not deleted" when there was no such key.
  static bool deleteEvents(const std::string& type);

  // ---- Filters (EventsFilters.cpp) ------------------------------------------

  // The page "LRANGE type offset limit", narrowed to the events whose members
  // "src_ip", "src_port", "dest_ip", "dest_port" and "proto" have exactly the
  // text of each filter given (byte for byte; an absent filter passes all).
  // Throws EventsException "Events: Redis search command error" (null reply),
  // "Events: Invalid Redis response" (not an array) and "Events: JSON parsing
  // error: ..." when any element of the page is not JSON.
  static Json::Value getEventsByParameters(const std::string& type, const std::string& offset,
                                           const std::string& limit,
                                           const std::optional<std::string>& src_ip,
                                           const std::optional<std::string>& src_port,
                                           const std::optional<std::string>& dest_ip,
                                           const std::optional<std::string>& dest_port,
                                           const std::optional<std::string>& proto);

  // The page "LRANGE type offset limit", narrowed to the events whose
  // "timestamp" lies within [now - hours * 3600, now] (computed in 64 bits, so
  // every int is a valid number of hours). Elements that are not JSON, and
  // events whose timestamp cannot be read, are skipped.
  // Throws EventsException "Error processing request" (null reply) or
  // "Invalid Redis response" (not an array).
  static Json::Value getEventsByTime(const std::string& type, const std::string& offset,
                                     const std::string& limit, int hours);

  // Seconds since the epoch of a "timestamp" text taken as the host's local
  // time: "%Y-%m-%dT%H:%M:%S", the fraction and zone offset after the seconds
  // are not read, daylight saving time as in force at that moment. nullopt
  // when the text does not start with a whole date and time.
  static std::optional<time_t> parseTimestamp(const std::string& text);

  // ---- Alerts with geolocation (EventsAlerts.cpp) -----------------------------

  // The alerts at indexes 0 to `limit` of "alert" in short form, each with
  // "src_geo" and "dest_geo". Elements that are not JSON objects are logged and
  // skipped. Reads "application.settings.geo_file" and the GeoPoint keys
  // (libconfig exceptions pass through). Throws EventsException "Events: Redis
  // command error" / "Events: Invalid Redis response", and std::runtime_error
  // "Cannot open GeoLite2" when the database cannot be opened.
  static Json::Value getAlertsShortEvents(const std::string& limit);

  // {"City", "Country", "latitude", "longitude"} of `ip`: `defaultPoint` for a
  // private address, the database's values when it knows the address, and
  // "Unknown", "Unknown", -85.0, 0.0 for whatever is not known (`mmdb` may be
  // null). Never throws for a bad address.
  static Json::Value get_geolocation(const std::string& ip, const MMDB_s* mmdb,
                                     const GeoPoint& defaultPoint);

  // True for dotted IPv4 texts in 10/8, 172.16/12 and 192.168/16. Loopback,
  // link-local and every IPv6 address are not private.
  static bool check_private_ip(const std::string& ip);

  // ---- Aggregates (EventsAggregates.cpp) ---------------------------------------

  // Every parsable element of "alert", in list order ("LRANGE alert 0 -1").
  // Throws EventsException "Events: Redis LRANGE command error" (null reply)
  // or "Events: Invalid Redis response" (not an array).
  static std::vector<Alert> fetchAlertsFromRedis();

  // One row per distinct signature id, in the order the ids first appear.
  static std::vector<SignatureStats> calculateSignatureStats(const std::vector<Alert>& alerts);

  // The rows as a JSON array of {"category", "signature", "signature_id",
  // "total"}; `limit` is accepted but the whole list is always counted.
  static Json::Value getAlertsSignatures(const std::string& limit);

  // Counts of the "alert" (or "anomaly") list per local hour: 24 members for
  // the current hour and the 23 before it, plus the hour of any counted event
  // outside them. Events count when now minus their time, in whole hours
  // truncated toward zero, is 0 to 23. Throws EventsException "Redis command
  // error: reply is null" or "Invalid Redis response, expected ARRAY".
  static Json::Value getHourlyAlertCountLast24h();
  static Json::Value getHourlyAnomalyCountLast24h();
  // The same for any list, at a given moment (the two above use now).
  static Json::Value getHourlyCountLast24h(const char* list, time_t now);

  // ---- fast.log (FastLog.cpp) ------------------------------------------------

  // The file named by "application.settings.fast_file", its last line first,
  // every line ending in a line feed. Throws std::runtime_error "Failed to read
  // configuration file: File I/O error.", "Failed to parse configuration file
  // at line N: ...", "Missing 'application.settings.fast_file' in
  // configuration.", "Failed to open log file: PATH" or "Failed to read log
  // file: PATH".
  static std::string readFastLog();
};

#endif  // EVENTS_EVENTS_H_
