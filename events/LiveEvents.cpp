// The server's live event streams.
#include "events/LiveEvents.h"

#include "events/EventLists.h"
#include "events/RedisStreamSource.h"
#include "events/StreamHub.h"

namespace events {

StreamHub& liveStreams() {
  // Never destroyed, as the work pools: a poller still running at exit
  // cannot hold it up.
  static StreamHub* hub = new StreamHub([] { return std::make_unique<RedisStreamSource>(); });
  return *hub;
}

std::shared_ptr<http::BodyStream> openEventStream(const std::string& type,
                                                  const std::optional<std::string>& lastEventId) {
  return liveStreams().open(type, lastEventId, [&] { return getEventsCountByType(type); });
}

}  // namespace events
