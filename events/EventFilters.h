// Event filters: a page of one list narrowed by exact member values or by a
// time window ending now (both filter the page only, never beyond it), and
// the reading of event timestamps.
#ifndef EVENTS_EVENTFILTERS_H_
#define EVENTS_EVENTFILTERS_H_

#include <json/value.h>

#include <ctime>
#include <optional>
#include <string>

#include "events/EventsException.h"

class LocalHours;

namespace events {

class ListReader;

// Member texts an event must have exactly (byte for byte) to pass; an
// absent filter passes every event.
struct EventMatch {
  std::optional<std::string> src_ip;
  std::optional<std::string> src_port;
  std::optional<std::string> dest_ip;
  std::optional<std::string> dest_port;
  std::optional<std::string> proto;
};

// The page "LRANGE type offset limit", narrowed to the events whose members
// "src_ip", "src_port", "dest_ip", "dest_port" and "proto" pass `match`.
// Throws EventsException "Events: Redis search command error" (null reply),
// "Events: Invalid Redis response" (not an array) and "Events: JSON parsing
// error: ..." when any element of the page is not JSON.
Json::Value getEventsByParameters(const std::string& type, const std::string& offset,
                                  const std::string& limit, const EventMatch& match);
// The same through `lists`.
Json::Value getEventsByParameters(const ListReader& lists, const std::string& type,
                                  const std::string& offset, const std::string& limit,
                                  const EventMatch& match);

// The page "LRANGE type offset limit", narrowed to the events whose
// "timestamp" lies within [now - hours * 3600, now] (computed in 64 bits, so
// every int is a valid number of hours). Elements that are not JSON, and
// events whose timestamp cannot be read, are skipped.
// Throws EventsException "Error processing request" (null reply) or
// "Invalid Redis response" (not an array).
Json::Value getEventsByTime(const std::string& type, const std::string& offset,
                            const std::string& limit, int hours);
// The same through `lists`, with the window ending at `now`.
Json::Value getEventsByTime(const ListReader& lists, const std::string& type,
                            const std::string& offset, const std::string& limit, int hours,
                            time_t now);

// Seconds since the epoch of a "timestamp" text taken as the host's local
// time: "%Y-%m-%dT%H:%M:%S", the fraction and zone offset after the seconds
// are not read, daylight saving time as in force at that moment. nullopt
// when the text does not start with a whole date and time.
std::optional<time_t> parseTimestamp(const std::string& text);
// The same for one of many timestamps of a list, through `hours` when given;
// sets *hourStart as LocalHours::toSeconds does (-1 without `hours`).
std::optional<time_t> parseTimestamp(const std::string& text, LocalHours* hours, time_t* hourStart);

}  // namespace events

#endif  // EVENTS_EVENTFILTERS_H_
