// The route table: every method and path the server answers, in registration order.
#ifndef SERVER_ROUTES_H_
#define SERVER_ROUTES_H_

#include <string>
#include <vector>

#include "http/Frame.h"

// One route: its method and pattern, where its body runs, and its handler
// (frame and body, from the subsystem that owns the route).
struct RouteEntry {
  const char* method;  // "GET", "POST", "DELETE", "OPTIONS"
  const char* path;    // the router's syntax: ":name" matches one segment
  http::RouteKind kind;
  http::Handler handler;
};

// The table in registration order. A literal segment takes precedence over a
// named one at the same position ("/events/count/x" is not an event by id).
const std::vector<RouteEntry>& routeTable();

// `routerPath` as docs/openapi.json writes it: "{name}" where the router
// writes ":name" ("/events/:event_type" is "/events/{event_type}").
std::string documentedPath(const char* routerPath);

#endif  // SERVER_ROUTES_H_
