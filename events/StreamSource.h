// What the live event stream's poller reads of the store: the daemon's lock,
// a list's length and the events added to it. Production reads Redis on a
// connection of the poller's own (events/RedisStreamSource.h); the unit tests
// read lists held in memory.
#ifndef EVENTS_STREAMSOURCE_H_
#define EVENTS_STREAMSOURCE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace events {

// The companion daemon pushes each new event onto the head of its type's
// list, so an event's place counted from the tail stays put as others
// arrive: the poller numbers events by it, the first event of a list being
// number 1 and the newest the list's length. Used by one thread at a time.
// Every read throws std::runtime_error when the store cannot be reached.
class StreamSource {
 public:
  virtual ~StreamSource() = default;

  // Whether the companion daemon holds its lock now: asked once, no wait.
  virtual bool locked() = 0;
  // The length of the list `key` (0 when there is none); nothing when the
  // key holds something else.
  virtual std::optional<int64_t> length(const std::string& key) = 0;
  // The events numbered `first` to `last` of the list `key`, oldest first;
  // fewer (those past its end missing) when the list is shorter than `last`.
  virtual std::vector<std::string> events(const std::string& key, int64_t first, int64_t last) = 0;
};

}  // namespace events

#endif  // EVENTS_STREAMSOURCE_H_
