// Event list queries: pages, counts, single events, flow search and deletion,
// all read straight from the Redis lists.
#include "events/EventLists.h"

#include <cstring>
#include <string>

#include "common/EventJson.h"
#include "common/Log.h"
#include "common/RedisWrapper.h"

namespace events {

Json::Value getEventsByType(const std::string& type, const std::string& offset,
                            const std::string& limit) {
  logging::info("Events: Requesting LRANGE %s %s %s", type.c_str(), offset.c_str(),
         limit.c_str());
  RedisReplyPtr reply =
      runWithLock("LRANGE %s %s %s", type.c_str(), offset.c_str(), limit.c_str());
  if (!reply) {
    logging::alert("Events: Redis command error (nullptr reply)");
    throw EventsException("Events: Redis command error");
  }
  if (reply->type != redis_type::kArray) {
    logging::alert("Events: Invalid Redis response type. Expected ARRAY, got: %d",
           reply->type);
    throw EventsException("Events: Invalid Redis response");
  }

  Json::Value events(Json::arrayValue);
  auto reader = event_json::makeReader();
  std::string error;
  for (size_t i = 0; i < reply->elements; ++i) {
    const redisReply* element = reply->element[i];
    if (element->str == nullptr) {
      logging::alert("Events: Null string in Redis reply element %zu", i);
      throw EventsException("Events: Null string in Redis element");
    }
    Json::Value& event = events.append(Json::Value());
    if (!event_json::parse(*reader, element->str, element->str + element->len, event, error)) {
      logging::alert("Events: JSON parsing error at element %zu: %s", i, error.c_str());
      throw EventsException("Events: JSON parsing error: " + error);
    }
  }
  logging::info("Events: Successfully parsed %zu events from Redis",
         static_cast<size_t>(reply->elements));
  return events;
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

Json::Value searchEventByFlowId(const std::string& flow_id) {
  RedisReplyPtr keys = runWithLock("KEYS *");
  // A refused listing (KEYS renamed away, as hardened servers do, or denied to
  // this client) must not read as "no event of that flow".
  if (!keys || keys->type != redis_type::kArray) {
    logging::alert("Events: Redis command error while retrieving keys");
    throw EventsException("Events: Redis command error while retrieving keys");
  }

  auto reader = event_json::makeReader();
  std::string error;
  Json::Value event;
  for (size_t k = 0; k < keys->elements; ++k) {
    const char* key = keys->element[k]->str;
    if (key == nullptr) continue;
    RedisReplyPtr type = runWithLock("TYPE %s", key);
    if (!type || type->type != redis_type::kStatus || std::strcmp(type->str, "list") != 0) {
      continue;
    }
    RedisReplyPtr list = runWithLock("LRANGE %s 0 -1", key);
    if (!list || list->type != redis_type::kArray) continue;
    for (size_t i = 0; i < list->elements; ++i) {
      const char* text = list->element[i]->str;
      if (text == nullptr) continue;
      if (!event_json::parse(*reader, text, text + std::strlen(text), event, error)) {
        logging::alert("Events: JSON parsing error in key: %s", key);
        continue;
      }
      if (event.isObject() && event_json::textForm(event["flow_id"]) == flow_id) return event;
    }
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
