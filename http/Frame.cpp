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
#include "http/Cors.h"
#include "http/WorkPool.h"

namespace http {

namespace {

std::atomic<bool> g_refusing{false};

// Seconds a client is asked to wait before trying a refused request again.
constexpr int kRetryAfterBusySeconds = 5;
// Threads that read the event lists for the requests that need Redis, and
// how many such requests may wait for one: a stalled Redis fills them and
// the next are refused at once instead of waiting in line for minutes.
constexpr int kRedisThreads = 4;
constexpr size_t kRedisQueue = 16;

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

WorkPool& redisPool() {
  static WorkPool* pool = new WorkPool("Redis", kRedisThreads, kRedisQueue);
  return *pool;
}

// What the reply, the metrics and the audit need of a request: its header
// set and allowed origin, its method, route pattern and arrival, and its
// audit entry on an audited route.
struct Arrival {
  Cors cors;
  std::string allowOrigin;
  std::string method;
  const char* route;
  std::optional<audit::Entry> audit;
  std::chrono::steady_clock::time_point time = std::chrono::steady_clock::now();
};

// Sends `reply` with the request's header set, writes the audit line of an
// audited request, and counts the request for the metrics.
void finish(const Answer& answer, Reply reply, const Arrival& arrival) {
  const int code = codeOf(reply.code);
  addCorsHeaders(arrival.cors, arrival.allowOrigin, reply);
  answer(std::move(reply));
  if (arrival.audit) audit::record(*arrival.audit, code);
  metrics::requestEnded();
  metrics::requestDone(
      arrival.method, arrival.route, code,
      std::chrono::duration<double>(std::chrono::steady_clock::now() - arrival.time).count());
}

// One request handed to a pool: everything it needs, owned.
struct Job {
  RouteKind kind;
  Handler handler;
  Request request;
  Answer answer;
  Arrival arrival;
};

void dispatch(WorkPool& pool, const std::shared_ptr<Job>& job);

// Runs the job's body on the calling thread and sends its reply. On the scan
// and Redis pools a body that may wait on the lock moves on to the slow
// pool when the lock is held: before anything of it runs, or, for a body
// that only reads, at its first lock check.
void run(const std::shared_ptr<Job>& job, bool mayWait) {
  std::optional<redis_lock::Probe> probe;
  std::optional<redis_lock::FirstCheck> firstCheck;
  if (!mayWait && job->kind.lock == LockWait::kMay) probe.emplace();
  if (!mayWait && job->kind.lock == LockWait::kMayAtFirstRead) firstCheck.emplace();
  if (probe && probe->held()) return dispatch(slowPool(), job);
  Reply reply = replyOf(job->handler, job->request);
  if (firstCheck && firstCheck->held()) return dispatch(slowPool(), job);
  finish(job->answer, std::move(reply), job->arrival);
}

void dispatch(WorkPool& pool, const std::shared_ptr<Job>& job) {
  const bool mayWait = &pool == &slowPool();
  std::function<void()> task = [job, mayWait] { run(job, mayWait); };
  if (!pool.trySubmit(task)) {
    finish(job->answer,
           unavailable("The server is busy: too many requests wait for the " + pool.name() +
                           " pool; try again shortly",
                       kRetryAfterBusySeconds),
           job->arrival);
  }
}

WorkPool* poolOf(Work work) {
  switch (work) {
    case Work::kScan: return &scanPool();
    case Work::kSlow: return &slowPool();
    case Work::kRedis: return &redisPool();
    case Work::kCheap: break;
  }
  return nullptr;
}

}  // namespace

Reply errorText(const std::exception& error) { return http::error(error.what()); }

std::string noSubject(const Request&) { return ""; }

Reply replyOf(const Handler& handler, const Request& request) {
  try {
    return handler.body(request);
  } catch (const redis_lock::HeldAtFirstCheck&) {
    // The frame drops this reply and runs the body again where it may wait.
    return text("", Status::kServiceUnavailable);
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

void serve(RouteKind kind, const Handler& handler, const access::Settings& access, Request& request,
           Exchange& exchange) {
  const access::Verdict verdict = access::judge(request, access);
  metrics::requestStarted();
  Arrival arrival{handler.frame.cors, verdict.allowOrigin, request.method, request.pattern,
                  std::nullopt};
  const Answer now = [&exchange](Reply reply) { exchange.reply(std::move(reply)); };
  if (verdict.refusal) return finish(now, *verdict.refusal, arrival);
  if (handler.frame.audit) arrival.audit = audit::entryOf(request, handler.frame.audit);
  if (g_refusing) {
    return finish(now, unavailable("The server is stopping", kRetryAfterBusySeconds), arrival);
  }
  if (WorkPool* pool = poolOf(kind.work)) {
    return dispatch(*pool, std::make_shared<Job>(Job{kind, handler, std::move(request),
                                                     exchange.defer(), std::move(arrival)}));
  }
  finish(now, replyOf(handler, request), arrival);
}

bool runOnSlowPool(std::function<void()> job) { return slowPool().trySubmit(job); }

void refuseNewRequests() { g_refusing = true; }

}  // namespace http
