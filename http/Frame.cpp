// The handler frame and the pools it runs slow bodies on.
#include "http/Frame.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

#include "common/Blocking.h"
#include "common/BuildSettings.h"
#include "common/Log.h"
#include "common/Metrics.h"
#include "common/NoFollow.h"
#include "common/Unavailable.h"
#include "http/Access.h"
#include "http/WorkPool.h"

namespace http {

namespace {

std::atomic<size_t> g_inFlight{0};
std::atomic<bool> g_refusing{false};
thread_local const char* t_route = "unmatched";

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

Reply replyOf(const Pistache::Rest::Request& request, const Body& body, ErrorReply onError) {
  try {
    return body(request);
  } catch (const Refusal& refusal) {
    return text(refusal.what(), refusal.code());
  } catch (const Unavailable& e) {
    return unavailable(e.what(), e.retryAfterSeconds());
  } catch (const SymbolicLinkError& e) {
    return error(e.what());
  } catch (const std::exception& e) {
    return onError(e);
  }
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
void finish(Pistache::Http::ResponseWriter& response, const Reply& reply,
            const Arrival& arrival) {
  try {
    send(response, reply);
  } catch (const std::exception& e) {
    logging::alert("Reply could not be sent: %s", e.what());
  }
  if (arrival.audit) audit::record(*arrival.audit, static_cast<int>(reply.code));
  --g_inFlight;
  metrics::requestEnded();
  metrics::requestDone(
      arrival.method, arrival.route, static_cast<int>(reply.code),
      std::chrono::duration<double>(std::chrono::steady_clock::now() - arrival.time).count());
}

// One request handed to a pool: everything it needs, owned.
struct Job {
  Frame frame;
  Pistache::Rest::Request request;
  Pistache::Http::ResponseWriter response;
  Body body;
  Arrival arrival;
};

void dispatch(WorkPool& pool, const std::shared_ptr<Job>& job);

void run(const std::shared_ptr<Job>& job, bool mayWait) {
  std::optional<blocking::Forbidden> forbidden;
  if (!mayWait) forbidden.emplace();
  std::optional<Reply> reply;
  try {
    reply = replyOf(job->request, job->body, job->frame.onError);
  } catch (const blocking::WouldBlock&) {
    return dispatch(slowPool(), job);
  }
  finish(job->response, *reply, job->arrival);
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

std::shared_ptr<Job> jobOf(const Frame& frame, const Pistache::Rest::Request& request,
                           Pistache::Http::ResponseWriter& response, const Body& body,
                           const Arrival& arrival) {
  return std::make_shared<Job>(Job{frame, request, std::move(response), body, arrival});
}

}  // namespace

Reply errorText(const std::exception& error) { return http::error(error.what()); }

std::string noSubject(const Pistache::Rest::Request&) { return ""; }

void serve(const Frame& frame, const Pistache::Rest::Request& request,
           Pistache::Http::ResponseWriter& response, const Body& body) {
  const access::Verdict verdict = access::judge(request);
  addCorsHeaders(frame.cors, verdict.allowOrigin, response);
  ++g_inFlight;
  metrics::requestStarted();
  Arrival arrival{Pistache::Http::methodString(request.method()), t_route, std::nullopt};
  if (verdict.refusal) return finish(response, *verdict.refusal, arrival);
  if (frame.audit) arrival.audit = audit::entryOf(request, frame.audit);
  if (g_refusing) {
    return finish(response, unavailable("The server is stopping", kRetryAfterBusySeconds),
                  arrival);
  }
  switch (frame.work) {
    case Work::kScan: return dispatch(scanPool(), jobOf(frame, request, response, body, arrival));
    case Work::kSlow: return dispatch(slowPool(), jobOf(frame, request, response, body, arrival));
    case Work::kCheap: break;
  }
  std::optional<Reply> reply;
  try {
    const blocking::Forbidden forbidden;
    reply = replyOf(request, body, frame.onError);
  } catch (const blocking::WouldBlock&) {
    return dispatch(slowPool(), jobOf(frame, request, response, body, arrival));
  }
  finish(response, *reply, arrival);
}

bool runOnSlowPool(std::function<void()> job) { return slowPool().trySubmit(job); }

RouteScope::RouteScope(const char* pattern) : previous_(t_route) { t_route = pattern; }

RouteScope::~RouteScope() { t_route = previous_; }

size_t requestsInFlight() { return g_inFlight; }

void refuseNewRequests() { g_refusing = true; }

}  // namespace http
