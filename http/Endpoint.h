// The one place where the HTTP library's request and reply meet the server's
// own: a library request becomes an http::Request, an http::Reply goes out on
// the library's response writer. Only http/ and server/ include this file.
#ifndef HTTP_ENDPOINT_H_
#define HTTP_ENDPOINT_H_

#include <pistache/http.h>
#include <pistache/router.h>

#include <string>

#include "http/Cors.h"
#include "http/Frame.h"
#include "http/Reply.h"
#include "http/Request.h"

namespace http {

// The owned request of a routed library request: `pattern` is the route
// table's literal that matched; its named segments are read from the request.
Request requestOf(const Pistache::Rest::Request& request, const char* pattern);

// The owned request of a request that no route matched (yet): no pattern, no segments.
Request requestOf(const Pistache::Http::Request& request);

// Adds the headers of `set` to `response`, allowing any origin.
void addCorsHeaders(Cors set, Pistache::Http::ResponseWriter& response);
// The same, allowing `origin`: "*", or the one origin of the front end, which
// also sends "Vary: Origin" so that caches keep replies apart by origin.
void addCorsHeaders(Cors set, const std::string& origin, Pistache::Http::ResponseWriter& response);

// Adds the header `name` with `value` to `response`, for names the library
// has no header class of.
void addHeader(Pistache::Http::ResponseWriter& response, std::string name, std::string value);

// Sends `reply` on `response`, after whatever headers were added to it.
void send(Pistache::Http::ResponseWriter& response, const Reply& reply);

// Adds the headers of `handler.frame.cors`, refuses a request from another
// origin or without the token (http/Access.h) before anything of it runs,
// runs the handler's body where `kind` says (http/Frame.h), and sends its
// reply (replyOf). A pool whose queue is full answers 503 with Retry-After
// at once, and nothing of the request runs. Counts the request for the
// metrics under its pattern, and writes the audit line of an audited route.
// Nothing escapes.
void serve(RouteKind kind, const Handler& handler, Request request,
           Pistache::Http::ResponseWriter& response);

}  // namespace http

#endif  // HTTP_ENDPOINT_H_
