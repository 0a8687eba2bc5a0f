// Event list queries: pages, counts, single events, flow search and deletion,
// all read straight from the Redis lists.
#include "events/EventLists.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "common/EventJson.h"
#include "common/FastEvent.h"
#include "common/JsonLayout.h"
#include "common/JsonText.h"
#include "common/ListSlices.h"
#include "common/Log.h"
#include "common/RedisWrapper.h"

namespace events {

namespace {

// The LRANGE page of `type`, checked as every page route checks it.
// The page "LRANGE type offset limit"; with `total`, also "LLEN type" in the
// same round trip on the same connection, so that the total counts the list
// the page was cut from (0 when it is no list).
RedisReplyPtr fetchPage(const std::string& type, const std::string& offset,
                        const std::string& limit, int64_t* total = nullptr) {
  logging::info("Events: Requesting LRANGE %s %s %s", type.c_str(), offset.c_str(),
         limit.c_str());
  RedisReplyPtr length;
  const RedisWrapper redis;
  RedisReplyPtr reply = redis.executeWithLock([&](redisContext* context) -> redisReply* {
    redisAppendCommand(context, "LRANGE %s %s %s", type.c_str(), offset.c_str(), limit.c_str());
    if (total != nullptr) redisAppendCommand(context, "LLEN %s", type.c_str());
    void* page = nullptr;
    if (redisGetReply(context, &page) != REDIS_OK) return nullptr;
    void* count = nullptr;
    if (total != nullptr && redisGetReply(context, &count) == REDIS_OK) {
      length.reset(static_cast<redisReply*>(count));
    }
    return static_cast<redisReply*>(page);
  });
  if (total != nullptr) {
    *total = length && length->type == redis_type::kInteger ? length->integer : 0;
  }
  if (!reply) {
    logging::alert("Events: Redis command error (nullptr reply)");
    throw EventsException("Events: Redis command error");
  }
  if (reply->type != redis_type::kArray) {
    logging::alert("Events: Invalid Redis response type. Expected ARRAY, got: %d",
           reply->type);
    throw EventsException("Events: Invalid Redis response");
  }
  return reply;
}

// Parses element `i` of a page into `event`; throws EventsException for an
// element without text or that is not JSON.
void parsePageElement(const redisReply& element, size_t i, Json::CharReader& reader,
                      Json::Value& event) {
  if (element.str == nullptr) {
    logging::alert("Events: Null string in Redis reply element %zu", i);
    throw EventsException("Events: Null string in Redis element");
  }
  std::string error;
  if (!event_json::parse(reader, element.str, element.str + element.len, event, error)) {
    logging::alert("Events: JSON parsing error at element %zu: %s", i, error.c_str());
    throw EventsException("Events: JSON parsing error: " + error);
  }
}

}  // namespace

Json::Value getEventsByType(const std::string& type, const std::string& offset,
                            const std::string& limit) {
  const RedisReplyPtr reply = fetchPage(type, offset, limit);
  Json::Value events(Json::arrayValue);
  auto reader = event_json::makeReader();
  for (size_t i = 0; i < reply->elements; ++i) {
    parsePageElement(*reply->element[i], i, *reader, events.append(Json::Value()));
  }
  logging::info("Events: Successfully parsed %zu events from Redis",
         static_cast<size_t>(reply->elements));
  return events;
}

std::string getEventsTextByType(const std::string& type, const std::string& offset,
                                const std::string& limit, int64_t* total) {
  const RedisReplyPtr reply = fetchPage(type, offset, limit, total);
  json_layout::ArrayText events;
  // The layout's tabs, spaces and line breaks nearly double the stored text.
  size_t stored = 0;
  for (size_t i = 0; i < reply->elements; ++i) stored += reply->element[i]->len;
  events.reserve(2 * stored + 16);
  fast_event::Parser fast;
  auto reader = event_json::makeReader();
  Json::Value event;
  for (size_t i = 0; i < reply->elements; ++i) {
    const redisReply& element = *reply->element[i];
    if (element.str != nullptr && fast.parse(element.str, element.len)) {
      events.add(fast.root());
      continue;
    }
    parsePageElement(element, i, *reader, event);
    events.add(json_text::write(event));
  }
  logging::info("Events: Successfully parsed %zu events from Redis",
         static_cast<size_t>(reply->elements));
  return std::move(events).finish();
}

int64_t getEventsCountByType(const std::string& type) {
  logging::info("Events: Requesting LLEN for key: %s", type.c_str());
  RedisReplyPtr reply = runWithLock("LLEN %s", type.c_str());
  if (!reply) {
    logging::alert("Events: Redis command returned null reply for key: %s", type.c_str());
    throw EventsException("Events: Redis command error");
  }
  if (reply->type != redis_type::kInteger) {
    logging::alert("Events: Invalid Redis reply type for key: %s. Expected INTEGER, got: %d",
           type.c_str(), reply->type);
    throw EventsException("Events: Invalid Redis response");
  }
  logging::info("Events: LLEN for key: %s returned count: %lld", type.c_str(),
         static_cast<long long>(reply->integer));
  return reply->integer;
}

Json::Value getEventById(const std::string& type, const std::string& id) {
  const long long index = std::stoll(id);
  RedisReplyPtr reply = runWithLock("LINDEX %s %lld", type.c_str(), index);
  if (!reply) {
    logging::alert("Events: Redis command error");
    throw EventsException("Events: Redis command error");
  }
  if (reply->type == redis_type::kNil) throw EventsException("Events: Event not found");
  if (reply->type != redis_type::kString) throw EventsException("Events: Invalid Redis response");

  Json::Value event;
  std::string error;
  auto reader = event_json::makeReader();
  if (!event_json::parse(*reader, reply->str, reply->str + reply->len, event, error)) {
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
  RedisReplyPtr keys = runWithLock("KEYS *");
  // A refused listing (KEYS renamed away, as hardened servers do, or denied to
  // this client) must not read as "no event of that flow".
  if (!keys || keys->type != redis_type::kArray) {
    logging::alert("Events: Redis command error while retrieving keys");
    throw EventsException("Events: Redis command error while retrieving keys");
  }

  const bool digits = isDigits(flow_id);
  auto reader = event_json::makeReader();
  fast_event::Parser fast;
  Json::Value event;
  for (size_t k = 0; k < keys->elements; ++k) {
    const char* key = keys->element[k]->str;
    if (key == nullptr) continue;
    RedisReplyPtr type = runWithLock("TYPE %s", key);
    if (!type || type->type != redis_type::kStatus || std::strcmp(type->str, "list") != 0) {
      continue;
    }
    // Elements are read up to their first NUL byte, as they always were.
    bool found = false;
    list_slices::walkWithLock(RedisWrapper(), key, 0, -1, [&](const redisReply* list) {
      if (!list || list->type != redis_type::kArray) return false;
      for (size_t i = 0; i < list->elements; ++i) {
        const char* text = list->element[i]->str;
        if (text == nullptr) continue;
        const size_t length = std::strlen(text);
        if (digits && !mayHoldFlow(text, length, flow_id)) continue;
        if (isEventOfFlow(text, length, flow_id, fast, *reader, event, key)) {
          found = true;
          // The reply is freed once this returns: read the event now.
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
    logging::alert("Events: Exception during deleteEvents for key %s: %s", type.c_str(),
           e.what());
    throw;
  }
}

}  // namespace events
