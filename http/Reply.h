// What a handler answers (status, body, content type, further headers) and the
// helpers that build the usual replies. The endpoint (http/Endpoint.h) sends it.
#ifndef HTTP_REPLY_H_
#define HTTP_REPLY_H_

#include <json/value.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "http/Status.h"

namespace http {

struct Reply {
  Status code = Status::kOk;
  std::string body;
  // Sent as Content-Type; none means the reply carries no such header.
  std::optional<ContentType> contentType;
  // Further headers, name and value (Retry-After on a 503, say).
  std::vector<std::pair<std::string, std::string>> headers;
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

// A JSON page whose text is written already: 200, application/json.
Reply jsonText(std::string text);

// `page` with the number of items before paging in X-Total-Count, exposed to
// the front end's scripts on another origin (Access-Control-Expose-Headers).
// The paged listings of events, rules and indicators carry it.
Reply withTotalCount(Reply page, uint64_t total);

}  // namespace http

#endif  // HTTP_REPLY_H_
