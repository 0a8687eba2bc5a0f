// The server's own metrics, in the text format that Prometheus scrapes:
// requests by route and status, their latency, requests in flight, the
// slow-work queues, outside commands, the feed refresh, caches and resident
// memory. Labels are
// always from small fixed sets (route patterns, pool and command names),
// never raw request data.
#ifndef COMMON_METRICS_H_
#define COMMON_METRICS_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace metrics {

// One request answered: `route` is its pattern ("/events/:event_type"),
// `seconds` from its arrival to its reply.
void requestDone(std::string_view method, std::string_view route, int status, double seconds);
// Requests between arrival and reply, up and down.
void requestStarted();
void requestEnded();

// Jobs waiting in the named pool now, and one refused because it was full.
void queueDepth(const std::string& pool, size_t depth);
void queueRefused(const std::string& pool);

// One outside command ended (or was killed at its limit), by program name.
void commandDone(const std::string& program, double seconds, bool timedOut);

// The scheduled feed refresh (threats/FeedRefresh.h): whether a run is
// due or running, and one run ended after `seconds`, at `unixSeconds` when it succeeded.
void feedRefreshRunning(bool running);
void feedRefreshDone(bool succeeded, double seconds, double unixSeconds);

// A cache reports its totals when scraped: `read` fills hits and rebuilds.
void registerCache(const std::string& name,
                   std::function<void(uint64_t& hits, uint64_t& rebuilds)> read);

// Every metric in the text exposition format, resident memory read now.
std::string text();

}  // namespace metrics

#endif  // COMMON_METRICS_H_
