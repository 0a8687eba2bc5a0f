// Shared pieces of every handler: reading path segments and query keys, and
// sending the one reply (JSON with its content type, or plain text).
#ifndef SERVER_REPLY_H_
#define SERVER_REPLY_H_

#include <string>

#include <json/value.h>
#include <pistache/http.h>
#include <pistache/router.h>

namespace reply {

// Text of the named path segment, `name` with its colon (":event_type").
std::string pathParam(const Pistache::Rest::Request& request, const char* name);

// Text of the query key `key` taken verbatim, or `fallback` when it is absent.
std::string queryOr(const Pistache::Rest::Request& request, const char* key,
                    const std::string& fallback);

// `value` written with the JSON library's default stream-writer settings (tab indentation).
std::string toJsonText(const Json::Value& value);

// 200 with `value` as JSON text and content type application/json.
void sendJson(Pistache::Http::ResponseWriter& response, const Json::Value& value);

// `body` as is, with no content type.
void sendText(Pistache::Http::ResponseWriter& response, Pistache::Http::Code code,
              const std::string& body);

// 500 with `body` as plain text and no content type: the error reply of most handlers.
void sendError(Pistache::Http::ResponseWriter& response, const std::string& body);

}  // namespace reply

#endif  // SERVER_REPLY_H_
