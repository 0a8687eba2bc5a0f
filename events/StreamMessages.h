// The text of the live event stream as the browser's event-stream parser reads
// it: one message per event, the reset message, the keep-alive comment, and
// the reading of a reconnecting client's Last-Event-ID.
#ifndef EVENTS_STREAMMESSAGES_H_
#define EVENTS_STREAMMESSAGES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace events::stream_text {

// Sent to a stream that has been quiet this long, so that proxies keep it open.
inline constexpr std::string_view kKeepAlive = ": keep-alive\n\n";

// "id: <id>\ndata: <line>\n" for each line of `event`, then "\n". The event's
// stored text is sent unchanged; a line feed, a carriage return or the pair
// of them inside it starts a new "data:" line, which the browser joins with a
// line feed again. An empty text gives one empty "data:" line.
std::string message(int64_t id, std::string_view event);

// "event: reset\nid: <length>\ndata: {\"length\":<length>}\n\n": the client
// has missed more than the stream can give it again (or named a position the
// list never had); it reloads what it shows and follows on from `length`.
std::string reset(int64_t length);

// The list length a client has seen, from its Last-Event-ID header: 1 to 19
// decimal digits that fit a signed 64-bit number, nothing else (no sign, no
// blank). Nothing when the text is no such number.
std::optional<int64_t> seenLength(std::string_view lastEventId);

}  // namespace events::stream_text

#endif  // EVENTS_STREAMMESSAGES_H_
