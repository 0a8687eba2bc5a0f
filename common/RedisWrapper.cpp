// Redis access under the companion daemon's lock.
#include "common/RedisWrapper.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <stdexcept>

#include "common/Blocking.h"
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
  RedisContextPtr context = connectToRedis(host, port);
  waitForUnlock(context.get());
  return RedisReplyPtr(command(context.get()));
}

void RedisWrapper::waitForUnlock(redisContext* context) const {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(build_settings::kLockWaitSeconds);
  for (;;) {
    RedisReplyPtr reply(static_cast<redisReply*>(redisCommand(context, "GET %s", lockKey.c_str())));
    if (reply && reply->type == redis_type::kNil) return;
    // A lost connection never answers again: waiting on would hang the worker.
    if (!reply && context->err) throw connectionError(context);
    blocking::checkAllowed();
    if (std::chrono::steady_clock::now() >= deadline) {
      throw Unavailable("The companion daemon holds " + lockKey + "; gave up waiting after " +
                            std::to_string(build_settings::kLockWaitSeconds) + " s",
                        build_settings::kLockWaitSeconds);
    }
    sleepMilliseconds(retryDelayMs);
  }
}
