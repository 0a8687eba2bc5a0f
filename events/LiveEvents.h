// The live event stream of the server: the hub that all its streams share,
// reading the local Redis, and the opening of one stream.
#ifndef EVENTS_LIVEEVENTS_H_
#define EVENTS_LIVEEVENTS_H_

#include <memory>
#include <optional>
#include <string>

#include "http/Reply.h"

namespace events {

class StreamHub;

// The server's hub (events/StreamHub.h with its default limits), reading
// through events/RedisStreamSource.h. Lives as long as the process.
StreamHub& liveStreams();

// A stream of the events the companion daemon adds to the list `type` from
// now on, for a client that sent `lastEventId` (StreamHub::open). Reads the
// list's length as getEventsCountByType does, with its lock wait, its
// errors and their log lines (EventsException "Events: Invalid Redis
// response" for a key of another type). Throws Unavailable when every
// stream's place is taken.
std::shared_ptr<http::BodyStream> openEventStream(const std::string& type,
                                                  const std::optional<std::string>& lastEventId);

}  // namespace events

#endif  // EVENTS_LIVEEVENTS_H_
