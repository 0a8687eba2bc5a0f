// The watcher thread behind /health's "redis" member.
#include "ops/RedisWatch.h"

#include <poll.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "common/BuildSettings.h"
#include "common/RedisWrapper.h"

namespace ops::redis_watch {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What the watcher thread has seen, shared with the threads that report it.
struct Watch {
  std::mutex mutex;
  std::condition_variable outcomeSeen;    // a PING ended
  std::condition_variable asked;          // `wanted` was set
  std::optional<std::string> outcome;     // of the last PING that ended
  std::optional<Clock::time_point> sent;  // of the PING outstanding, if any
  uint64_t pings = 0;                     // PINGs ended so far
  bool wanted = false;                    // a reader asks for a PING now
};

// Lives as long as the process, as its thread does: never destroyed, so the
// thread cannot outlive it at exit.
Watch& watch() {
  static Watch* shared = new Watch;
  return *shared;
}

// One PING on `context`, made first when it is null; the outcome as state()
// reports it. A connection that failed is dropped; when Redis had closed a
// kept one, the PING is sent again at once on a new connection, so that the
// outcome says what Redis does now (refused, say) rather than that it closed.
std::string ping(RedisContextPtr& context) {
  for (int attempt = 0;; ++attempt) {
    try {
      const bool kept = context != nullptr;
      if (!kept) {
        // connectToRedis bounds each step in whole seconds: one is the shortest.
        context = connectToRedis("127.0.0.1", build_settings::kRedisPort, 1);
      }
      const RedisReplyPtr reply(static_cast<redisReply*>(redisCommand(context.get(), "PING")));
      if (reply) {
        if (reply->type == redis_type::kError) return std::string("Redis error: ") + reply->str;
        return "ok";
      }
      const RedisContextPtr failed = std::move(context);
      if (kept && attempt == 0 && redis_error::closedByRedis(*failed)) continue;
      if (redis_error::timedOut(*failed)) return kNoAnswer;
      return std::string("Redis connection error: ") + failed->errstr;
    } catch (const std::exception& e) {
      return e.what();
    }
  }
}

// Waits until `next`. While Redis answers, the wait on the kept connection
// ends early when Redis closes it (or sends on it unasked); while it fails,
// when a reader asks for a PING now: either way the next outcome tells at once.
void waitForNextPing(Watch& shared, const RedisContextPtr& context, bool ok,
                     Clock::time_point next) {
  if (ok && context) {
    const auto left = std::chrono::duration_cast<milliseconds>(next - Clock::now());
    if (left.count() <= 0) return;
    pollfd socket{context->fd, POLLIN, 0};
    poll(&socket, 1, static_cast<int>(left.count()));
    return;
  }
  std::unique_lock<std::mutex> lock(shared.mutex);
  shared.asked.wait_until(lock, next, [&] { return shared.wanted; });
  shared.wanted = false;
}

void watchForever() {
  Watch& shared = watch();
  RedisContextPtr context;
  for (;;) {
    const Clock::time_point sent = Clock::now();
    {
      const std::lock_guard<std::mutex> lock(shared.mutex);
      shared.sent = sent;
    }
    std::string outcome = ping(context);
    const bool ok = outcome == "ok";
    {
      const std::lock_guard<std::mutex> lock(shared.mutex);
      shared.sent.reset();
      shared.outcome = std::move(outcome);
      ++shared.pings;
    }
    shared.outcomeSeen.notify_all();
    // A failing Redis is asked again sooner, so that its return shows soon.
    waitForNextPing(shared, context, ok,
                    sent + milliseconds(ok ? kPeriodMilliseconds : kRetryMilliseconds));
  }
}

}  // namespace

void start() {
  static std::once_flag started;
  std::call_once(started, [] { std::thread(watchForever).detach(); });
}

std::string state() {
  start();
  Watch& shared = watch();
  std::unique_lock<std::mutex> lock(shared.mutex);
  if (!shared.outcome) {
    shared.outcomeSeen.wait_for(lock, milliseconds(kNoAnswerMilliseconds),
                                [&] { return shared.outcome.has_value(); });
  } else if (*shared.outcome != "ok" && !shared.sent) {
    // Redis failed its last PING and the watcher waits to try again: a PING
    // now tells whether it is back. A Redis that does not answer leaves it
    // outstanding, and the last outcome stands.
    const uint64_t seen = shared.pings;
    shared.wanted = true;
    shared.asked.notify_one();
    shared.outcomeSeen.wait_for(lock, milliseconds(kRecheckMilliseconds),
                                [&] { return shared.pings != seen; });
  }
  const bool overdue =
      shared.sent && Clock::now() - *shared.sent > milliseconds(kNoAnswerMilliseconds);
  if (overdue || !shared.outcome) return kNoAnswer;
  return *shared.outcome;
}

}  // namespace ops::redis_watch
