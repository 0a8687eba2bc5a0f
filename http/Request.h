// Reading a request: named path segments as the router gives them, and query values
// percent-decoded as a browser escapes them.
#ifndef HTTP_REQUEST_H_
#define HTTP_REQUEST_H_

#include <optional>
#include <string>

#include <pistache/router.h>

namespace http {

// Text of the named path segment, `name` with its colon (":event_type").
std::string pathParam(const Pistache::Rest::Request& request, const char* name);

// Text of the query key `key` with its "%XY" escapes decoded (a "%" without
// two hex digits and "+" kept as sent), or nothing when it is absent.
std::optional<std::string> query(const Pistache::Rest::Request& request, const char* key);

// Text of the query key `key`, or `fallback` when it is absent.
std::string queryOr(const Pistache::Rest::Request& request, const char* key,
                    const std::string& fallback);

}  // namespace http

#endif  // HTTP_REQUEST_H_
