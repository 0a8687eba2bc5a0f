// Dashboard aggregates over whole lists: alert counts per signature, and
// counts of alerts and anomalies per local hour over the last 24 hours.
#ifndef EVENTS_ALERTAGGREGATES_H_
#define EVENTS_ALERTAGGREGATES_H_

#include <json/value.h>

#include <ctime>
#include <string>
#include <vector>

#include "events/AlertRecords.h"
#include "events/EventsException.h"

namespace events {

class ListReader;

// Every parsable element of "alert", in list order ("LRANGE alert 0 -1").
// Throws EventsException "Events: Redis LRANGE command error" (null reply)
// or "Events: Invalid Redis response" (not an array).
std::vector<Alert> fetchAlertsFromRedis();

// One row per distinct signature id, in the order the ids first appear.
std::vector<SignatureStats> calculateSignatureStats(const std::vector<Alert>& alerts);

// The rows as a JSON array of {"category", "signature", "signature_id",
// "total"}; `limit` is accepted but the whole list is always counted.
Json::Value getAlertsSignatures(const std::string& limit);

// Counts of the "alert" (or "anomaly") list per local hour: 24 members for
// the current hour and the 23 before it, plus the hour of any counted event
// outside them. Events count when now minus their time, in whole hours
// truncated toward zero, is 0 to 23. Throws EventsException "Redis command
// error: reply is null" or "Invalid Redis response, expected ARRAY".
Json::Value getHourlyAlertCountLast24h();
Json::Value getHourlyAnomalyCountLast24h();
// The same for any list, at a given moment (the two above use now).
Json::Value getHourlyCountLast24h(const char* list, time_t now);

// The whole-list operations above through `lists`, which they walk a slice
// at a time; the forms without it read through redisLists().
std::vector<Alert> fetchAlertsFromRedis(const ListReader& lists);
Json::Value getAlertsSignatures(const ListReader& lists, const std::string& limit);
Json::Value getHourlyCountLast24h(const ListReader& lists, const char* list, time_t now);

}  // namespace events

#endif  // EVENTS_ALERTAGGREGATES_H_
