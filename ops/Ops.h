// The server's own operational routes: its health for load balancers and
// monitors, and its metrics for Prometheus. Both carry the Stats cross-origin
// headers and run on the HTTP threads (no list scan, bounded waits).
#ifndef OPS_OPS_H_
#define OPS_OPS_H_

#include <pistache/http.h>
#include <pistache/router.h>

class Ops {
 public:
  // GET "/health": 200 with {"configuration", "redis", "status"} as JSON
  // (application/json), each "ok"; 503 with the same object when the
  // configuration file cannot be read or Redis does not answer PING within
  // 2 s, the failing member holding the reason and "status" "unavailable".
  // While the scheduled feed refresh keeps failing the object also holds
  // "feed": "stale", with the status the other members give.
  static void handleHealth(const Pistache::Rest::Request& request,
                           Pistache::Http::ResponseWriter response);
  // GET "/metrics": 200 with every metric in the text exposition format
  // ("text/plain; version=0.0.4").
  static void handleMetrics(const Pistache::Rest::Request& request,
                            Pistache::Http::ResponseWriter response);
};

#endif  // OPS_OPS_H_
