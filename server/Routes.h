// The route table: every method and path the server answers, in registration order.
#ifndef SERVER_ROUTES_H_
#define SERVER_ROUTES_H_

#include <string>
#include <vector>

#include <pistache/http_defs.h>
#include <pistache/router.h>

// A handler is a plain function; the router binds it with no object.
using RouteHandler = void (*)(const Pistache::Rest::Request&, Pistache::Http::ResponseWriter);

struct RouteEntry {
  Pistache::Http::Method method;
  const char* path;  // the router's syntax: ":name" matches one segment
  RouteHandler handler;
};

// The table in registration order. A literal segment takes precedence over a
// named one at the same position ("/events/count/x" is not an event by id).
const std::vector<RouteEntry>& routeTable();

// `routerPath` as docs/openapi.json writes it: "{name}" where the router
// writes ":name" ("/events/:event_type" is "/events/{event_type}").
std::string documentedPath(const char* routerPath);

#endif  // SERVER_ROUTES_H_
