// The server's own operational routes: its health for load balancers and
// monitors, its metrics for Prometheus, and the description of its API. Both carry the Stats
// cross-origin headers and run on the HTTP threads (no list scan, bounded waits).
#ifndef OPS_OPS_H_
#define OPS_OPS_H_

#include "http/Frame.h"

class Ops {
 public:
  // GET "/health": 200 with {"configuration", "redis", "status"} as JSON
  // (application/json), each "ok"; 503 with the same object when the
  // configuration file cannot be read or Redis failed its last PING or left
  // it unanswered past 1 s (ops/RedisWatch.h: never waited on here), the
  // failing member holding the reason and "status" "unavailable".
  // While the scheduled feed refresh keeps failing the object also holds
  // "feed": "stale", with the status the other members give.
  static http::Handler handleHealth();
  // GET "/metrics": 200 with every metric in the text exposition format
  // ("text/plain; version=0.0.4").
  static http::Handler handleMetrics();
  // GET "/openapi.json": 200 with docs/openapi.json as built into the binary
  // (application/json).
  static http::Handler handleOpenApi();
  // GET "/docs": 200 with the documentation page made from that document
  // ("text/html; charset=utf-8"), under a Content-Security-Policy that lets
  // it load nothing and run no script.
  static http::Handler handleDocs();
};

#endif  // OPS_OPS_H_
