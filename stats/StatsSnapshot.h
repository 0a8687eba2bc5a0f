// The statistics snapshot: the head entry of "stats" completed with the
// tallies over the event lists and the process's own memory.
#ifndef STATS_STATSSNAPSHOT_H_
#define STATS_STATSSNAPSHOT_H_

#include <json/value.h>

#include "stats/StatsException.h"

namespace stats {

// The head entry of "stats" with the DNS, DHCP, HTTP, TLS and alert tallies
// and this process's memory, as StatsItem::toJson, over direct Redis
// connections that do not wait for the lock. An empty or missing "stats"
// list (or one whose LLEN gives no integer) gives the default record with no
// tallies taken. Throws StatsException: "Stats Error: Redis connection
// error.", "Error:  Couldn't execute redisCommand" (no LLEN reply), "Couldn't
// get key valuest " (LRANGE gives no array), or what StatsItem::parse and the
// tallies throw.
Json::Value get_stats();

}  // namespace stats

#endif  // STATS_STATSSNAPSHOT_H_
