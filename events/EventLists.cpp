// Event list queries: pages, counts, single events, flow search and deletion,
// all read straight from the Redis lists.
#include "events/EventLists.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/EventJson.h"
#include "common/FastEvent.h"
#include "common/JsonLayout.h"
#include "common/JsonText.h"
#include "common/Log.h"
#include "common/RedisWrapper.h"
#include "events/KeptLayouts.h"
#include "events/ListReader.h"
#include "events/RedisListReader.h"

namespace events {

namespace {

// The page "LRANGE type offset limit" of `lists`, checked as every page
// route checks it; with `total`, also the length of the list it was cut from.
ListReply fetchPage(const ListReader& lists, const std::string& type, const std::string& offset,
                    const std::string& limit, int64_t* total = nullptr) {
  static constexpr ReadFailure kFailure{
      "Events: Redis command error (nullptr reply)", "Events: Redis command error",
      "Events: Invalid Redis response type. Expected ARRAY, got: {type}",
      "Events: Invalid Redis response"};
  logging::info("Events: Requesting LRANGE %s %s %s", type.c_str(), offset.c_str(), limit.c_str());
  ListReply page = lists.page(type, offset, limit, total);
  expect(page, ListReply::Kind::kList, type, kFailure);
  return page;
}

// Parses element `i` of a page into `event`; throws EventsException for an
// element without text or that is not JSON.
void parsePageElement(const ListElement& element, size_t i, Json::CharReader& reader,
                      Json::Value& event) {
  if (element.text == nullptr) {
    logging::alert("Events: Null string in Redis reply element %zu", i);
    throw EventsException("Events: Null string in Redis element");
  }
  std::string error;
  if (!event_json::parse(reader, element.text, element.text + element.length, event, error)) {
    logging::alert("Events: JSON parsing error at element %zu: %s", i, error.c_str());
    throw EventsException("Events: JSON parsing error: " + error);
  }
}

}  // namespace

Json::Value getEventsByType(const std::string& type, const std::string& offset,
                            const std::string& limit) {
  return getEventsByType(redisLists(), type, offset, limit);
}

Json::Value getEventsByType(const ListReader& lists, const std::string& type,
                            const std::string& offset, const std::string& limit) {
  const ListReply page = fetchPage(lists, type, offset, limit);
  Json::Value events(Json::arrayValue);
  auto reader = event_json::makeReader();
  for (size_t i = 0; i < page.size(); ++i) {
    parsePageElement(page[i], i, *reader, events.append(Json::Value()));
  }
  logging::info("Events: Successfully parsed %zu events from Redis", page.size());
  return events;
}

std::string getEventsTextByType(const std::string& type, const std::string& offset,
                                const std::string& limit, int64_t* total) {
  return getEventsTextByType(redisLists(), type, offset, limit, total);
}

std::string getEventsTextByType(const ListReader& lists, const std::string& type,
                                const std::string& offset, const std::string& limit,
                                int64_t* total) {
  const ListReply page = fetchPage(lists, type, offset, limit, total);
  json_layout::ArrayText events;
  // The layout's tabs, spaces and line breaks nearly double the stored text.
  size_t stored = 0;
  for (size_t i = 0; i < page.size(); ++i) stored += page[i].length;
  events.reserve(2 * stored + 16);
  fast_event::Parser fast;
  auto reader = event_json::makeReader();
  Json::Value event;
  KeptLayouts& kept = pageLayouts();
  for (size_t i = 0; i < page.size(); ++i) {
    const ListElement element = page[i];
    if (element.text == nullptr) parsePageElement(element, i, *reader, event);  // throws
    const std::string_view text(element.text, element.length);
    if (kept.addKept(text, events)) continue;
    if (fast.parse(element.text, element.length)) {
      events.add(fast.root());
    } else {
      parsePageElement(element, i, *reader, event);
      events.add(json_text::write(event));
    }
    kept.keep(text, events.lastElement());
  }
  logging::info("Events: Successfully parsed %zu events from Redis", page.size());
  return std::move(events).finish();
}

int64_t getEventsCountByType(const std::string& type) {
  return getEventsCountByType(redisLists(), type);
}

int64_t getEventsCountByType(const ListReader& lists, const std::string& type) {
  static constexpr ReadFailure kFailure{
      "Events: Redis command returned null reply for key: {key}", "Events: Redis command error",
      "Events: Invalid Redis reply type for key: {key}. Expected INTEGER, got: {type}",
      "Events: Invalid Redis response"};
  logging::info("Events: Requesting LLEN for key: %s", type.c_str());
  const ListReply reply = lists.length(type);
  const long long count = expect(reply, ListReply::Kind::kNumber, type, kFailure).number();
  logging::info("Events: LLEN for key: %s returned count: %lld", type.c_str(), count);
  return count;
}

Json::Value getEventById(const std::string& type, const std::string& id) {
  return getEventById(redisLists(), type, id);
}

Json::Value getEventById(const ListReader& lists, const std::string& type, const std::string& id) {
  static constexpr ReadFailure kFailure{"Events: Redis command error",
                                        "Events: Redis command error", nullptr,
                                        "Events: Invalid Redis response"};
  const long long index = std::stoll(id);
  const ListReply reply = lists.element(type, index);
  if (reply.kind() == ListReply::Kind::kNil) throw EventsException("Events: Event not found");
  const ListElement text = expect(reply, ListReply::Kind::kText, type, kFailure).text();

  Json::Value event;
  std::string error;
  auto reader = event_json::makeReader();
  if (!event_json::parse(*reader, text.text, text.text + text.length, event, error)) {
    throw EventsException("Events: JSON parsing error: " + error);
  }
  return event;
}

namespace {

// Whether an element of `length` bytes at `text` may hold an event whose
// "flow_id" reads as `digits` (a non-empty run of decimal digits). Such a
// value is written either as those digits (a number, perhaps with leading
// zeros, or a string) or as a string escaping a digit ("\u0031"); real
// numbers, booleans, objects and arrays never read as digits alone. So an
// element holding neither the digits nor such an escape cannot match.
bool mayHoldFlow(const char* text, size_t length, const std::string& digits) {
  static constexpr char kDigitEscape[] = "\\u003";
  return memmem(text, length, digits.data(), digits.size()) != nullptr ||
         memmem(text, length, kDigitEscape, sizeof kDigitEscape - 1) != nullptr;
}

bool isDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether the element of `length` bytes at `text` is an event of the flow:
// simdjson settles most elements; the rest are parsed into `event` by
// jsoncpp, whose failures are logged as in the key `key`.
bool isEventOfFlow(const char* text, size_t length, const std::string& flow_id,
                   fast_event::Parser& fast, Json::CharReader& reader, Json::Value& event,
                   const char* key) {
  if (fast.parse(text, length)) {
    if (!fast.root().is_object()) return false;
    const std::optional<std::string> form =
        fast_event::textForm(fast_event::find(fast.root(), {"flow_id"}));
    if (form) return *form == flow_id;
  }
  std::string error;
  if (!event_json::parse(reader, text, text + length, event, error)) {
    logging::alert("Events: JSON parsing error in key: %s", key);
    return false;
  }
  return event.isObject() && event_json::textForm(event["flow_id"]) == flow_id;
}

}  // namespace

Json::Value searchEventByFlowId(const std::string& flow_id) {
  return searchEventByFlowId(redisLists(), flow_id);
}

Json::Value searchEventByFlowId(const ListReader& lists, const std::string& flow_id) {
  // A refused listing (KEYS renamed away, as hardened servers do, or denied to
  // this client) must not read as "no event of that flow".
  static constexpr ReadFailure kFailure{"Events: Redis command error while retrieving keys",
                                        "Events: Redis command error while retrieving keys",
                                        "Events: Redis command error while retrieving keys",
                                        "Events: Redis command error while retrieving keys"};
  const ListReply keys = lists.keys();
  expect(keys, ListReply::Kind::kList, "*", kFailure);

  const bool digits = isDigits(flow_id);
  auto reader = event_json::makeReader();
  fast_event::Parser fast;
  Json::Value event;
  for (size_t k = 0; k < keys.size(); ++k) {
    if (keys[k].text == nullptr) continue;
    const std::string key = keys[k].text;
    if (!lists.holdsList(key)) continue;
    // Elements are read up to their first NUL byte, as they always were.
    bool found = false;
    lists.walk(key, 0, -1, [&](const ListReply& slice) {
      if (slice.kind() != ListReply::Kind::kList) return false;
      for (size_t i = 0; i < slice.size(); ++i) {
        const char* text = slice[i].text;
        if (text == nullptr) continue;
        const size_t length = std::strlen(text);
        if (digits && !mayHoldFlow(text, length, flow_id)) continue;
        if (isEventOfFlow(text, length, flow_id, fast, *reader, event, key.c_str())) {
          found = true;
          // The slice is freed once this returns: read the event now.
          std::string error;
          event_json::parse(*reader, text, text + length, event, error);
          return false;
        }
      }
      return true;
    });
    if (found) return event;
  }
  return Json::Value();
}

bool deleteEvents(const std::string& type) {
  try {
    RedisReplyPtr reply = runWithLock("DEL %s", type.c_str());
    if (!reply) {
      logging::alert("Events: Redis command returned null reply for key: %s", type.c_str());
      throw EventsException("Events: Redis command returned null reply");
    }
    if (reply->type != redis_type::kInteger) {
      logging::alert("Events: Unexpected Redis reply type %d for key: %s", reply->type,
                     type.c_str());
      throw EventsException("Events: Unexpected Redis reply type");
    }
    if (reply->integer <= 0) {
      logging::alert("Events: Key not found or not deleted for key: %s", type.c_str());
      throw EventsException("Events: Key not found or not deleted");
    }
    return true;
  } catch (const std::exception& e) {
    logging::alert("Events: Exception during deleteEvents for key %s: %s", type.c_str(), e.what());
    throw;
  }
}

}  // namespace events
