// The reply helpers of the handlers that do not use the frame yet; they go
// once every handler runs in http::serve.
#ifndef HTTP_REPLYCOMPAT_H_
#define HTTP_REPLYCOMPAT_H_

#include <string>

#include "http/Cors.h"
#include "http/Reply.h"
#include "http/Request.h"

namespace reply {

inline std::string pathParam(const Pistache::Rest::Request& request, const char* name) {
  return http::pathParam(request, name);
}
inline std::string queryOr(const Pistache::Rest::Request& request, const char* key,
                           const std::string& fallback) {
  return http::queryOr(request, key, fallback);
}
inline void sendJson(Pistache::Http::ResponseWriter& response, const Json::Value& value) {
  http::send(response, http::json(value));
}
inline void sendText(Pistache::Http::ResponseWriter& response, Pistache::Http::Code code,
                     const std::string& body) {
  http::send(response, http::text(body, code));
}
inline void sendError(Pistache::Http::ResponseWriter& response, const std::string& body) {
  http::send(response, http::error(body));
}

}  // namespace reply

namespace cors {
inline void addRulesSet(Pistache::Http::ResponseWriter& response) {
  http::addCorsHeaders(http::Cors::kRules, response);
}
}  // namespace cors

#endif  // HTTP_REPLYCOMPAT_H_
