// The server's health: whether the configuration reads and Redis answers.
#ifndef OPS_HEALTH_H_
#define OPS_HEALTH_H_

#include <json/value.h>

namespace ops {

// {"configuration", "redis", "status"}: "ok" for each part that works, else
// the reason ("configuration" fails for a file that cannot be read, does not
// parse, or holds no settings, as the access checks judge it); "status" is
// "ok" or "unavailable". Reads the configuration file; "redis" is
// redis_watch::state(), so it never waits on Redis; never throws. After the scheduled feed refresh
// failed feed_freshness::kStaleAfterFailures times in a row it also holds "feed": "stale", which
// leaves "status" as it is.
Json::Value health();

// Whether `report` (from health) says every part works.
bool healthy(const Json::Value& report);

}  // namespace ops

#endif  // OPS_HEALTH_H_
