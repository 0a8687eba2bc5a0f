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
#include "events/EventItem.h"
#include "events/ListReader.h"
#include "events/RedisListReader.h"

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
  return getEventsByParameters(redisLists(), type, offset, limit, match);
}

Json::Value getEventsByParameters(const ListReader& lists, const std::string& type,
                                  const std::string& offset, const std::string& limit,
                                  const EventMatch& match) {
  static constexpr ReadFailure kFailure{"Events: Redis search command error for event type: {key}",
                                        "Events: Redis search command error",
                                        "Events: Invalid Redis response for event type: {key}",
                                        "Events: Invalid Redis response"};
  const ListReply page = lists.page(type, offset, limit);
  expect(page, ListReply::Kind::kList, type, kFailure);

  Json::Value events(Json::arrayValue);
  event_json::ElementReader elements(event_json::makeReader());
  EventItem item;
  for (size_t i = 0; i < page.size(); ++i) {
    const ListElement element = page[i];
    if (!elements.parse(element.text, element.length)) {
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
  return getEventsByTime(redisLists(), type, offset, limit, hours, time(nullptr));
}

Json::Value getEventsByTime(const ListReader& lists, const std::string& type,
                            const std::string& offset, const std::string& limit, int hours,
                            time_t now) {
  static constexpr ReadFailure kFailure{
      "Events: Redis command error for event type: {key}", "Error processing request",
      "Events: Invalid Redis response type for event type: {key}", "Invalid Redis response"};
  const int64_t end = static_cast<int64_t>(now);
  const int64_t start = end - static_cast<int64_t>(hours) * 3600;
  const ListReply page = lists.page(type, offset, limit);
  expect(page, ListReply::Kind::kList, type, kFailure);

  Json::Value events(Json::arrayValue);
  event_json::ElementReader elements(event_json::makeReader());
  for (size_t i = 0; i < page.size(); ++i) {
    const ListElement element = page[i];
    if (!elements.parse(element.text, element.length)) {
      logging::alert("Events: JSON parsing error in event_type %s: %s", type.c_str(),
                     elements.error().c_str());
      continue;
    }
    const std::optional<time_t> stamp =
        parseTimestamp(event_json::textForm(event_json::member(elements.event(), "timestamp")));
    if (stamp && start <= *stamp && *stamp <= end) events.append(std::move(elements.event()));
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
