// Event filters: a page of one list narrowed by exact member values or by a
// time window ending now. Both filter the page only, never beyond it.
#include "events/EventFilters.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "common/EventJson.h"
#include "common/LocalHours.h"
#include "common/Log.h"
#include "common/RedisWrapper.h"
#include "events/EventItem.h"

namespace events {

namespace {

bool passes(const std::optional<std::string>& filter, const std::string& value) {
  return !filter || *filter == value;
}

bool matches(const EventMatch& match, const EventItem& item) {
  return passes(match.src_ip, item.src_ip) && passes(match.src_port, item.src_port) &&
         passes(match.dest_ip, item.dest_ip) && passes(match.dest_port, item.dest_port) &&
         passes(match.proto, item.proto);
}

}  // namespace

Json::Value getEventsByParameters(const std::string& type, const std::string& offset,
                                  const std::string& limit, const EventMatch& match) {
  RedisReplyPtr reply =
      runWithLock("LRANGE %s %s %s", type.c_str(), offset.c_str(), limit.c_str());
  if (!reply) {
    logging::alert("Events: Redis search command error for event type: %s", type.c_str());
    throw EventsException("Events: Redis search command error");
  }
  if (reply->type != redis_type::kArray) {
    logging::alert("Events: Invalid Redis response for event type: %s", type.c_str());
    throw EventsException("Events: Invalid Redis response");
  }

  Json::Value events(Json::arrayValue);
  event_json::ElementReader elements(event_json::makeReader());
  EventItem item;
  for (size_t i = 0; i < reply->elements; ++i) {
    if (!elements.parse(*reply->element[i])) {
      logging::alert("JSON parsing error: %s", elements.error().c_str());
      throw EventsException("Events: JSON parsing error: " + elements.error());
    }
    item.fill(elements.event());
    if (matches(match, item)) events.append(std::move(elements.event()));
  }
  return events;
}

Json::Value getEventsByTime(const std::string& type, const std::string& offset,
                            const std::string& limit, int hours) {
  const int64_t now = static_cast<int64_t>(time(nullptr));
  const int64_t start = now - static_cast<int64_t>(hours) * 3600;

  RedisReplyPtr reply =
      runWithLock("LRANGE %s %s %s", type.c_str(), offset.c_str(), limit.c_str());
  if (!reply) {
    logging::alert("Events: Redis command error for event type: %s", type.c_str());
    throw EventsException("Error processing request");
  }
  if (reply->type != redis_type::kArray) {
    logging::alert("Events: Invalid Redis response type for event type: %s", type.c_str());
    throw EventsException("Invalid Redis response");
  }

  Json::Value events(Json::arrayValue);
  event_json::ElementReader elements(event_json::makeReader());
  for (size_t i = 0; i < reply->elements; ++i) {
    if (!elements.parse(*reply->element[i])) {
      logging::alert("Events: JSON parsing error in event_type %s: %s", type.c_str(),
             elements.error().c_str());
      continue;
    }
    const std::optional<time_t> stamp =
        parseTimestamp(event_json::textForm(event_json::member(elements.event(), "timestamp")));
    if (stamp && start <= *stamp && *stamp <= now) events.append(std::move(elements.event()));
  }
  return events;
}

std::optional<time_t> parseTimestamp(const std::string& text) {
  return parseTimestamp(text, nullptr, nullptr);
}

std::optional<time_t> parseTimestamp(const std::string& text, LocalHours* hours,
                                     time_t* hourStart) {
  if (hourStart != nullptr) *hourStart = -1;
  std::tm calendar{};
  if (strptime(text.c_str(), "%Y-%m-%dT%H:%M:%S", &calendar) == nullptr) return std::nullopt;
  // Suricata writes the host's local time; the zone rules say whether
  // daylight saving time was in force at that moment.
  if (hours == nullptr) return LocalHours::convert(calendar);
  return hours->toSeconds(calendar, hourStart);
}

}  // namespace events
