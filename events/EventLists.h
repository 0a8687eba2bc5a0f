// Event list queries: pages, counts, single events, flow search and deletion,
// read straight from the Redis lists (one list per event type, one eve JSON
// text per element) through a ListReader, under the daemon's lock.
#ifndef EVENTS_EVENTLISTS_H_
#define EVENTS_EVENTLISTS_H_

#include <json/value.h>

#include <cstdint>
#include <string>

#include "events/EventsException.h"

namespace events {

class ListReader;

// "LRANGE type offset limit" with both bounds as given (limit is the
// inclusive stop index). Throws EventsException when the reply is missing or
// not an array, or when any element is not JSON: never a partial result.
Json::Value getEventsByType(const std::string& type, const std::string& offset,
                            const std::string& limit);

// The same page as the reply text, json_text::write of what getEventsByType
// returns, written without building the array. With `total`, also the length
// of the list the page was cut from (read in the same round trip; 0 when the
// key holds no list). Throws as getEventsByType.
std::string getEventsTextByType(const std::string& type, const std::string& offset,
                                const std::string& limit, int64_t* total = nullptr);

// "LLEN type": 0 for a missing list. Throws EventsException when the key
// holds no list.
int64_t getEventsCountByType(const std::string& type);

// "LINDEX type id", id 0-based and negative from the tail. Throws
// std::invalid_argument / std::out_of_range ("stoll") for an id that is not a
// 64-bit number, EventsException "Events: Event not found" past the end.
Json::Value getEventById(const std::string& type, const std::string& id);

// Scans every list key for the first event whose "flow_id" text equals
// `flow_id`; elements that are not JSON are logged and skipped. Returns JSON
// null when nothing matches. Throws EventsException "Events: Redis command
// error while retrieving keys" when "KEYS *" gives no list of keys.
Json::Value searchEventByFlowId(const std::string& flow_id);

// Each operation above also reads through a given reader,
// as the unit tests do; the forms without one read through redisLists().
Json::Value getEventsByType(const ListReader& lists, const std::string& type,
                            const std::string& offset, const std::string& limit);
std::string getEventsTextByType(const ListReader& lists, const std::string& type,
                                const std::string& offset, const std::string& limit,
                                int64_t* total = nullptr);
int64_t getEventsCountByType(const ListReader& lists, const std::string& type);
Json::Value getEventById(const ListReader& lists, const std::string& type, const std::string& id);
Json::Value searchEventByFlowId(const ListReader& lists, const std::string& flow_id);

// "DEL type": true when deleted. Throws EventsException
// "Events: Key not found or not deleted" when there was no such key.
bool deleteEvents(const std::string& type);

}  // namespace events

#endif  // EVENTS_EVENTLISTS_H_
