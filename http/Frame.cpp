// The handler frame and the pools it runs slow bodies on.
#include "http/Frame.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include "common/BuildSettings.h"
#include "common/Log.h"
#include "common/Metrics.h"
#include "common/NoFollow.h"
#include "common/RedisWrapper.h"
#include "common/Unavailable.h"
#include "http/Access.h"
#include "http/Endpoint.h"
#include "http/WorkPool.h"

namespace http {

namespace {

std::atomic<size_t> g_inFlight{0};
std::atomic<bool> g_refusing{false};

// Seconds a client is asked to wait before trying a refused request again.
constexpr int kRetryAfterBusySeconds = 5;

// The pools live as long as the process; they are never destroyed, so that a
// job still running when the process exits cannot hold up its exit.
WorkPool& scanPool() {
  static WorkPool* pool =
      new WorkPool("scan", static_cast<int>(std::max(1u, std::thread::hardware_concurrency())),
                   build_settings::kScanQueue, 5);
  return *pool;
}

WorkPool& slowPool() {
  static WorkPool* pool =
      new WorkPool("slow", build_settings::kSlowThreads, build_settings::kSlowQueue);
  return *pool;
}

// What the metrics and the audit record of a request: its method, route
// pattern and arrival, and its audit entry on an audited route.
struct Arrival {
  std::string method;
  const char* route;
  std::optional<audit::Entry> audit;
  std::chrono::steady_clock::time_point time = std::chrono::steady_clock::now();
};

// Sends `reply`, writes the audit line of an audited request, and counts the
// request as done. A client that has gone makes the send fail; that ends
// the request too.
void finish(Pistache::Http::ResponseWriter& response, const Reply& reply, const Arrival& arrival) {
  try {
    send(response, reply);
  } catch (const std::exception& e) {
    logging::alert("Reply could not be sent: %s", e.what());
  }
  if (arrival.audit) audit::record(*arrival.audit, codeOf(reply.code));
  --g_inFlight;
  metrics::requestEnded();
  metrics::requestDone(
      arrival.method, arrival.route, codeOf(reply.code),
      std::chrono::duration<double>(std::chrono::steady_clock::now() - arrival.time).count());
}

// One request handed to a pool: everything it needs, owned.
struct Job {
  RouteKind kind;
  Handler handler;
  Request request;
  Pistache::Http::ResponseWriter response;
  Arrival arrival;
};

void dispatch(WorkPool& pool, const std::shared_ptr<Job>& job);

// Runs the job's body on the calling thread and sends its reply. On the scan
// pool a body that may wait on the lock moves on to the slow pool, before
// anything of it runs, when the lock is held.
void run(const std::shared_ptr<Job>& job, bool mayWait) {
  std::optional<redis_lock::Probe> probe;
  if (!mayWait && job->kind.lock == LockWait::kMay) probe.emplace();
  if (probe && probe->held()) return dispatch(slowPool(), job);
  finish(job->response, replyOf(job->handler, job->request), job->arrival);
}

void dispatch(WorkPool& pool, const std::shared_ptr<Job>& job) {
  const bool mayWait = &pool == &slowPool();
  std::function<void()> task = [job, mayWait] { run(job, mayWait); };
  if (!pool.trySubmit(task)) {
    finish(job->response,
           unavailable("The server is busy: too many requests wait for the " + pool.name() +
                           " pool; try again shortly",
                       kRetryAfterBusySeconds),
           job->arrival);
  }
}

}  // namespace

Reply errorText(const std::exception& error) { return http::error(error.what()); }

std::string noSubject(const Request&) { return ""; }

Reply replyOf(const Handler& handler, const Request& request) {
  try {
    return handler.body(request);
  } catch (const Refusal& refusal) {
    return text(refusal.what(), refusal.code());
  } catch (const Unavailable& e) {
    return unavailable(e.what(), e.retryAfterSeconds());
  } catch (const SymbolicLinkError& e) {
    return error(e.what());
  } catch (const std::exception& e) {
    return handler.frame.onError(e);
  }
}

void serve(RouteKind kind, const Handler& handler, Request request,
           Pistache::Http::ResponseWriter& response) {
  const access::Verdict verdict = access::judge(request);
  addCorsHeaders(handler.frame.cors, verdict.allowOrigin, response);
  ++g_inFlight;
  metrics::requestStarted();
  Arrival arrival{request.method, request.pattern, std::nullopt};
  if (verdict.refusal) return finish(response, *verdict.refusal, arrival);
  if (handler.frame.audit) arrival.audit = audit::entryOf(request, handler.frame.audit);
  if (g_refusing) {
    return finish(response, unavailable("The server is stopping", kRetryAfterBusySeconds), arrival);
  }
  const auto jobOf = [&] {
    return std::make_shared<Job>(
        Job{kind, handler, std::move(request), std::move(response), std::move(arrival)});
  };
  switch (kind.work) {
    case Work::kScan: return dispatch(scanPool(), jobOf());
    case Work::kSlow: return dispatch(slowPool(), jobOf());
    case Work::kCheap: break;
  }
  std::optional<redis_lock::Probe> probe;
  if (kind.lock == LockWait::kMay) probe.emplace();
  if (probe && probe->held()) return dispatch(slowPool(), jobOf());
  finish(response, replyOf(handler, request), arrival);
}

bool runOnSlowPool(std::function<void()> job) { return slowPool().trySubmit(job); }

size_t requestsInFlight() { return g_inFlight; }

void refuseNewRequests() { g_refusing = true; }

}  // namespace http
