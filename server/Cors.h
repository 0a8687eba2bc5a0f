// The cross-origin header sets that every reply carries: the front end is
// served from another origin. Each handler class adds its own set first.
#ifndef SERVER_CORS_H_
#define SERVER_CORS_H_

#include <pistache/http.h>

namespace cors {

// "Access-Control-Allow-Origin: *" alone (the Events and Net classes).
void addOriginOnly(Pistache::Http::ResponseWriter& response);

// Origin "*", methods "GET, POST, PUT, DELETE, OPTIONS" and headers
// "Origin, X-Requested-With, Content-Type, Accept, Authorization"
// (the Rules and Threats classes, and every preflight reply).
void addRulesSet(Pistache::Http::ResponseWriter& response);

// Origin "*", methods "GET, POST, OPTIONS" and headers
// "X-Requested-With, Content-Type, Accept, Origin, Authorization" (the Stats class).
void addStatsSet(Pistache::Http::ResponseWriter& response);

}  // namespace cors

#endif  // SERVER_CORS_H_
