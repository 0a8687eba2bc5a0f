// Redis access under the companion daemon's lock.
#include "common/RedisWrapper.h"

#include <hiredis/sds.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <stdexcept>
#include <string>
#include <utility>

#include "common/Unavailable.h"

namespace {

// Sleeps for `ms` milliseconds, resuming after a signal for the time left.
void sleepMilliseconds(int ms) {
  if (ms <= 0) return;
  timespec request{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  timespec remaining{};
  while (nanosleep(&request, &remaining) == -1 && errno == EINTR) {
    request = remaining;
  }
}

std::runtime_error connectionError(const redisContext* context) {
  return std::runtime_error(std::string("Redis connection error: ") + context->errstr);
}

// The connection a thread keeps between two operations, so that the next one
// skips connecting; at most one per thread, never shared.
struct IdleConnection {
  RedisContextPtr context;
  std::string host;
  int port = 0;
};
thread_local IdleConnection t_idle;

// Set by a redis_lock::Probe that found the lock free, until the thread's
// next lock wait or the probe's end.
thread_local bool t_lockSeenFree = false;

RedisContextPtr takeIdle(const std::string& host, int port) {
  if (!t_idle.context || t_idle.host != host || t_idle.port != port) return nullptr;
  return std::move(t_idle.context);
}

// Keeps `context` for the thread's next operation when it is sound and every
// reply it was sent has been read: nothing waits to be sent, and nothing
// received is left unread.
void keepIdle(RedisContextPtr context, const std::string& host, int port) {
  if (context->err != 0 || sdslen(context->obuf) != 0) return;
  redisReader* reader = context->reader;
  if (reader == nullptr || reader->pos != reader->len) return;
  // A large reply leaves its read buffer behind, which hiredis shrinks only
  // on the next read: such a connection is closed rather than kept.
  constexpr size_t kKeptBufferBytes = 1 << 20;
  if (sdsalloc(reader->buf) > kKeptBufferBytes) return;
  t_idle.context = std::move(context);
  t_idle.host = host;
  t_idle.port = port;
}

}  // namespace

RedisContextPtr connectToRedis(const std::string& host, int port, int timeoutSeconds) {
  // A Redis that accepts but never answers (stopped, swapping, stuck on a long
  // command) must fail the request rather than hold a worker thread forever.
  const timeval limit{timeoutSeconds, 0};
  RedisContextPtr context(redisConnectWithTimeout(host.c_str(), port, limit));
  if (!context) throw std::runtime_error("Can't allocate redis context");
  if (context->err) throw connectionError(context.get());
  if (redisSetTimeout(context.get(), limit) != REDIS_OK) throw connectionError(context.get());
  return context;
}

RedisReplyPtr RedisWrapper::executeWithLock(const Command& command) const {
  RedisContextPtr context = takeIdle(host, port);
  if (context) {
    try {
      waitForUnlock(context.get());
    } catch (const std::runtime_error&) {
      // Redis may have closed or lost a kept connection since its last use:
      // the lock check, which changes nothing, runs again on a new one.
      if (context->err == 0) throw;
      context.reset();
    }
  }
  if (!context) {
    context = connectToRedis(host, port);
    waitForUnlock(context.get());
  }
  RedisReplyPtr reply(command(context.get()));
  keepIdle(std::move(context), host, port);
  return reply;
}

void RedisWrapper::waitForUnlock(redisContext* context) const {
  if (t_lockSeenFree) {
    t_lockSeenFree = false;
    return;
  }
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(build_settings::kLockWaitSeconds);
  for (;;) {
    RedisReplyPtr reply(static_cast<redisReply*>(redisCommand(context, "GET %s", lockKey.c_str())));
    if (reply && reply->type == redis_type::kNil) return;
    // A lost connection never answers again: waiting on would hang the worker.
    if (!reply && context->err) throw connectionError(context);
    if (std::chrono::steady_clock::now() >= deadline) {
      throw Unavailable("The companion daemon holds " + lockKey + "; gave up waiting after " +
                            std::to_string(build_settings::kLockWaitSeconds) + " s",
                        build_settings::kLockWaitSeconds);
    }
    sleepMilliseconds(retryDelayMs);
  }
}

namespace redis_lock {

Probe::Probe() {
  const RedisWrapper redis;
  RedisContextPtr context = takeIdle(redis.host, redis.port);
  try {
    if (!context) context = connectToRedis(redis.host, redis.port);
  } catch (const std::runtime_error&) {
    return;
  }
  RedisReplyPtr reply(
      static_cast<redisReply*>(redisCommand(context.get(), "GET %s", redis.lockKey.c_str())));
  if (!reply) return;  // a kept connection Redis has closed: the body reconnects
  held_ = reply->type != redis_type::kNil;
  t_lockSeenFree = !held_;
  keepIdle(std::move(context), redis.host, redis.port);
}

Probe::~Probe() { t_lockSeenFree = false; }

}  // namespace redis_lock
