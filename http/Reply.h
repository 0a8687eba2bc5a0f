// What a handler answers (status, body, content type, further headers) and the
// helpers that build the usual replies. The endpoint (http/Endpoint.h) sends it.
#ifndef HTTP_REPLY_H_
#define HTTP_REPLY_H_

#include <json/value.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "http/Status.h"

namespace http {

// The body of a reply that is written over time (the live event stream):
// the endpoint asks it for bytes whenever the client can take more, and
// sleeps on the connection while it has none.
class BodyStream {
 public:
  // What read() answers once the body is complete: the endpoint ends the reply.
  static constexpr long kEnd = -1;

  virtual ~BodyStream() = default;

  // Copies up to `max` bytes of what is ready into `to` and answers how many;
  // 0 when nothing is ready yet, kEnd when the body is complete. Called on an
  // HTTP thread; never blocks.
  virtual long read(char* to, size_t max) = 0;

  // Called once by the endpoint before the first read(): the stream calls
  // `wake` (from any thread, any number of times) whenever bytes become
  // ready or the body ends, and the endpoint reads again. The stream drops
  // `wake` when it is destroyed, which happens when the reply ends or the
  // client has gone.
  virtual void onReady(std::function<void()> wake) = 0;
};

struct Reply {
  Status code = Status::kOk;
  std::string body;
  // Sent as Content-Type; none means the reply carries no such header.
  std::optional<ContentType> contentType;
  // Further headers, name and value (Retry-After on a 503, say), in the
  // order they were added; they go out last added first.
  std::vector<std::pair<std::string, std::string>> headers;
  // Set on a reply written over time: `body` is then empty and the stream
  // gives the body as it comes; the reply has no Content-Length.
  std::shared_ptr<BodyStream> stream;
};

// 200 with `value` written with the JSON library's default stream-writer
// settings (tab indentation) and content type application/json.
Reply json(const Json::Value& value);
// 200 with `value` as the library's styled text (ending in a line feed) and
// content type application/json.
Reply styledJson(const Json::Value& value);
// `body` as is with `code` and no content type.
Reply text(std::string body, Status code = Status::kOk);
// 500 with `body` as plain text and no content type: most routes' error reply.
Reply error(std::string body);
// 503 with `reason` as plain text and Retry-After `retryAfterSeconds`.
Reply unavailable(std::string reason, int retryAfterSeconds);

// 200 with `stream` as the body, content type text/event-stream and
// "Cache-Control: no-cache": a live stream of server-sent events.
Reply eventStream(std::shared_ptr<BodyStream> stream);

// A JSON page whose text is written already: 200, application/json.
Reply jsonText(std::string text);

// `page` with the number of items before paging in X-Total-Count, exposed to
// the front end's scripts on another origin (Access-Control-Expose-Headers).
// The paged listings of events, rules and indicators carry it.
Reply withTotalCount(Reply page, uint64_t total);

}  // namespace http

#endif  // HTTP_REPLY_H_
