// The live event streams: every open stream of every event type, and the one
// poller that reads each list for all the streams that follow it.
#ifndef EVENTS_STREAMHUB_H_
#define EVENTS_STREAMHUB_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "http/Reply.h"

namespace events {

class StreamSource;

// The bounds of a hub; the server uses the defaults.
struct StreamLimits {
  size_t maxStreams = 64;                           // open streams in all
  size_t queueBytes = 4 << 20;                      // unsent bytes of one stream
  std::chrono::milliseconds pollEvery{250};         // between two rounds of the poller
  std::chrono::milliseconds keepAliveEvery{15000};  // quiet time before a keep-alive
  int64_t replayLimit = 1000;  // events a stream is sent again or at once, at most
  int retryAfterSeconds = 5;   // Retry-After of the refusal past maxStreams
};

// Thread-safe. While any stream is open, one thread polls, every pollEvery
// (and at once when a stream opens), each list that a stream follows: the
// daemon's lock first (a held lock skips the list this round), then its
// length, then the events added since the stream that has seen least. Each
// stream gets its new events as messages (events/StreamMessages.h) numbered by
// the list length, oldest first; a stream more than replayLimit events behind,
// or ahead of the list (the list was emptied), gets a reset instead. A stream
// whose unsent bytes would pass queueBytes is dropped at once: its memory is
// freed, it ends (read() answers kEnd) and its place is free. Failed reads are
// logged once while they last and tried again next round. The thread ends when
// the last stream does.
class StreamHub {
 public:
  using SourceMaker = std::function<std::unique_ptr<StreamSource>()>;

  // The poller reads through a source that `makeSource` makes on its thread.
  explicit StreamHub(SourceMaker makeSource, StreamLimits limits = {});
  // Ends every stream and waits for the poller to stop. Streams may outlive
  // the hub; they then get nothing more.
  ~StreamHub();
  StreamHub(const StreamHub&) = delete;
  StreamHub& operator=(const StreamHub&) = delete;

  // Opens a stream of the list `key` for a client that sent `lastEventId`
  // (its Last-Event-ID header, nothing when it sent none). Takes a place
  // first: throws Unavailable (Retry-After retryAfterSeconds) when all are
  // taken. Then calls `lengthNow` for the list's length at this moment; what
  // it throws passes and gives the place back. A stream without a
  // Last-Event-ID follows from that length; one with a length it may follow
  // from (events/StreamMessages.h) is sent the events since, from the
  // poller's next round; any other starts with a reset. The stream leaves
  // the hub when it is destroyed; it never calls its wake function after.
  std::shared_ptr<http::BodyStream> open(const std::string& key,
                                         const std::optional<std::string>& lastEventId,
                                         const std::function<int64_t()>& lengthNow);

  // Ends every open stream after what it has queued (the server's stop).
  void endAll();
  // Streams open now.
  size_t streams() const;

  struct Core;

 private:
  std::shared_ptr<Core> core_;
};

}  // namespace events

#endif  // EVENTS_STREAMHUB_H_
