// The metrics registry and its families.
#include "common/Metrics.h"

#include <prometheus/counter.h>
#include <prometheus/family.h>
#include <prometheus/gauge.h>
#include <prometheus/histogram.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace metrics {

namespace {

using prometheus::BuildCounter;
using prometheus::BuildGauge;
using prometheus::BuildHistogram;

// Upper bounds of the latency buckets, seconds: a cheap route answers in a
// millisecond, a rules update may take minutes.
const prometheus::Histogram::BucketBoundaries kLatencyBuckets = {
    0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10, 30, 60, 300};

struct Registry {
  std::shared_ptr<prometheus::Registry> registry = std::make_shared<prometheus::Registry>();
  prometheus::Family<prometheus::Counter>& requests =
      BuildCounter()
          .Name("pavora_http_requests_total")
          .Help("Requests answered, by method, route pattern and status")
          .Register(*registry);
  prometheus::Family<prometheus::Histogram>& latency =
      BuildHistogram()
          .Name("pavora_http_request_duration_seconds")
          .Help("Time from a request's arrival to its reply, by route pattern")
          .Register(*registry);
  prometheus::Gauge& inFlight = BuildGauge()
                                    .Name("pavora_http_requests_in_flight")
                                    .Help("Requests between arrival and reply")
                                    .Register(*registry)
                                    .Add({});
  prometheus::Family<prometheus::Gauge>& queueDepth =
      BuildGauge()
          .Name("pavora_work_queue_depth")
          .Help("Requests waiting for a thread of the pool")
          .Register(*registry);
  prometheus::Family<prometheus::Counter>& queueRefused =
      BuildCounter()
          .Name("pavora_work_queue_rejections_total")
          .Help("Requests refused with 503 because the pool's queue was full")
          .Register(*registry);
  prometheus::Family<prometheus::Histogram>& commands =
      BuildHistogram()
          .Name("pavora_command_duration_seconds")
          .Help("Run time of outside commands, by program")
          .Register(*registry);
  prometheus::Family<prometheus::Counter>& commandTimeouts =
      BuildCounter()
          .Name("pavora_command_timeouts_total")
          .Help("Outside commands killed at their time limit, by program")
          .Register(*registry);
  prometheus::Gauge& refreshLastSuccess =
      BuildGauge()
          .Name("pavora_feed_refresh_last_success_timestamp_seconds")
          .Help("When the last scheduled feed refresh succeeded, Unix time; 0 before the first")
          .Register(*registry)
          .Add({});
  prometheus::Counter& refreshFailures =
      BuildCounter()
          .Name("pavora_feed_refresh_failures_total")
          .Help("Scheduled feed refreshes that failed at one of their steps")
          .Register(*registry)
          .Add({});
  prometheus::Gauge& refreshDuration =
      BuildGauge()
          .Name("pavora_feed_refresh_last_duration_seconds")
          .Help("Run time of the last scheduled feed refresh, succeeded or failed")
          .Register(*registry)
          .Add({});
  prometheus::Gauge& refreshRunning =
      BuildGauge()
          .Name("pavora_feed_refresh_running")
          .Help("1 while a scheduled feed refresh is handed to the slow pool or runs")
          .Register(*registry)
          .Add({});
  prometheus::Family<prometheus::Gauge>& cacheHits =
      BuildGauge()
          .Name("pavora_cache_hits")
          .Help("Requests served from a cache since the start, by cache")
          .Register(*registry);
  prometheus::Family<prometheus::Gauge>& cacheRebuilds =
      BuildGauge()
          .Name("pavora_cache_rebuilds")
          .Help("Times a cache was rebuilt from its file since the start, by cache")
          .Register(*registry);
  prometheus::Gauge& residentBytes = BuildGauge()
                                         .Name("process_resident_memory_bytes")
                                         .Help("Resident memory of the server")
                                         .Register(*registry)
                                         .Add({});

  std::mutex cachesMutex;
  std::vector<std::pair<std::string, std::function<void(uint64_t&, uint64_t&)>>> caches;
};

Registry& registry() {
  static Registry* instance = new Registry();  // lives as long as the process
  return *instance;
}

double residentMemory() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
}

}  // namespace

namespace {

// The counter and histogram of one method, route pattern and status. The
// families hand out the same metric for the same labels for as long as the
// process lives, but build a new one and a label map to find it: each thread
// keeps what it found, keyed by the three, so a request asks the families
// only the first time its thread sees that combination.
struct RequestMetrics {
  prometheus::Counter* requests;
  prometheus::Histogram* latency;
};

RequestMetrics& requestMetricsOf(std::string_view method, std::string_view route, int status) {
  thread_local std::unordered_map<std::string, RequestMetrics> known;
  thread_local std::string key;  // its capacity stays from one request to the next
  key.assign(method).append(1, '\0').append(route).append(1, '\0');
  key.append(std::to_string(status));
  const auto found = known.find(key);
  if (found != known.end()) return found->second;
  Registry& r = registry();
  const std::string name(route);
  RequestMetrics metrics{
      &r.requests.Add(
          {{"method", std::string(method)}, {"route", name}, {"status", std::to_string(status)}}),
      &r.latency.Add({{"route", name}}, kLatencyBuckets)};
  return known.emplace(key, metrics).first->second;
}

}  // namespace

void requestDone(std::string_view method, std::string_view route, int status, double seconds) {
  RequestMetrics& metrics = requestMetricsOf(method, route, status);
  metrics.requests->Increment();
  metrics.latency->Observe(seconds);
}

void requestStarted() { registry().inFlight.Increment(); }

void requestEnded() { registry().inFlight.Decrement(); }

void queueDepth(const std::string& pool, size_t depth) {
  // Set twice per pooled request, under the pool's lock: each thread keeps
  // the gauge of each pool it has set (see requestMetricsOf).
  thread_local std::unordered_map<std::string, prometheus::Gauge*> known;
  auto found = known.find(pool);
  if (found == known.end()) {
    found = known.emplace(pool, &registry().queueDepth.Add({{"pool", pool}})).first;
  }
  found->second->Set(static_cast<double>(depth));
}

void queueRefused(const std::string& pool) {
  registry().queueRefused.Add({{"pool", pool}}).Increment();
}

void commandDone(const std::string& program, double seconds, bool timedOut) {
  Registry& r = registry();
  r.commands.Add({{"program", program}}, kLatencyBuckets).Observe(seconds);
  if (timedOut) r.commandTimeouts.Add({{"program", program}}).Increment();
}

void feedRefreshRunning(bool running) { registry().refreshRunning.Set(running ? 1 : 0); }

void feedRefreshDone(bool succeeded, double seconds, double unixSeconds) {
  Registry& r = registry();
  r.refreshDuration.Set(seconds);
  if (succeeded) {
    r.refreshLastSuccess.Set(unixSeconds);
  } else {
    r.refreshFailures.Increment();
  }
}

void registerCache(const std::string& name,
                   std::function<void(uint64_t& hits, uint64_t& rebuilds)> read) {
  Registry& r = registry();
  const std::lock_guard<std::mutex> lock(r.cachesMutex);
  r.caches.emplace_back(name, std::move(read));
}

std::string text() {
  Registry& r = registry();
  r.residentBytes.Set(residentMemory());
  {
    const std::lock_guard<std::mutex> lock(r.cachesMutex);
    for (const auto& [name, read] : r.caches) {
      uint64_t hits = 0;
      uint64_t rebuilds = 0;
      read(hits, rebuilds);
      r.cacheHits.Add({{"cache", name}}).Set(static_cast<double>(hits));
      r.cacheRebuilds.Add({{"cache", name}}).Set(static_cast<double>(rebuilds));
    }
  }
  std::ostringstream out;
  prometheus::TextSerializer().Serialize(out, r.registry->Collect());
  return out.str();
}

}  // namespace metrics
