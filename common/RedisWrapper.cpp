// Redis access under the companion daemon's lock.
#include "common/RedisWrapper.h"

#include <hiredis/sds.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <optional>
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

// The error a redis_lock::Probe met (a connection that could not be made, a
// lock check that timed out), until the thread's next connection or lock
// wait, which throws it at once, or the probe's end: a Redis that made the
// probe wait its full limit is not waited on a second time.
thread_local std::optional<std::string> t_probeFailure;

// Where the thread stands within a redis_lock::FirstCheck: outside one, before
// its first lock check, after a check that found the lock free, or after one
// that found it held (every check then throws).
enum class FirstCheckState { kNone, kPending, kPassed, kHeld };
thread_local FirstCheckState t_firstCheck = FirstCheckState::kNone;

// Takes the answer `lock` of the first check within a FirstCheck: free, or
// held (then throws HeldAtFirstCheck).
void settleFirstCheck(const redisReply* lock) {
  if (lock != nullptr && lock->type == redis_type::kNil) {
    t_firstCheck = FirstCheckState::kPassed;
    return;
  }
  t_firstCheck = FirstCheckState::kHeld;
  throw redis_lock::HeldAtFirstCheck();
}

void throwIfHeldAtFirstCheck() {
  if (t_firstCheck == FirstCheckState::kHeld) throw redis_lock::HeldAtFirstCheck();
}

void throwProbeFailure() {
  if (!t_probeFailure) return;
  const std::runtime_error failure(*t_probeFailure);
  t_probeFailure.reset();
  throw failure;
}

// Whether Redis has closed `context` (end of file or reset waiting on its
// socket) while it was kept: a connection that cannot carry a command, seen
// without sending one. A socket with nothing to read is open; so is one
// holding bytes, which keepIdle never lets a kept connection hold unread.
bool closedWhileKept(const redisContext& context) {
  char byte = 0;
  const ssize_t got = recv(context.fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  if (got == 0) return true;
  return got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
}

// The thread's kept connection to `host`:`port`, or null when it has none
// or Redis has closed it meanwhile (then it is dropped).
RedisContextPtr takeIdle(const std::string& host, int port) {
  if (!t_idle.context || t_idle.host != host || t_idle.port != port) return nullptr;
  RedisContextPtr context = std::move(t_idle.context);
  if (closedWhileKept(*context)) return nullptr;
  return context;
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

namespace redis_error {

namespace {

bool ioErrorIs(const redisContext& context, std::initializer_list<int> codes) {
  if (context.err != REDIS_ERR_IO) return false;
  for (const int code : codes) {
    if (std::strcmp(context.errstr, std::strerror(code)) == 0) return true;
  }
  return false;
}

}  // namespace

bool closedByRedis(const redisContext& context) {
  return context.err == REDIS_ERR_EOF || ioErrorIs(context, {ECONNRESET, EPIPE});
}

bool timedOut(const redisContext& context) { return ioErrorIs(context, {EAGAIN, EWOULDBLOCK}); }

}  // namespace redis_error

RedisContextPtr RedisWrapper::connect() const {
  throwProbeFailure();
  return connectToRedis(host, port);
}

RedisReplyPtr RedisWrapper::executeWithLock(const Command& command) const {
  RedisContextPtr context = takeIdle(host, port);
  if (context) {
    try {
      waitForUnlock(context.get());
    } catch (const std::runtime_error&) {
      // Redis may have closed a kept connection between the look at its
      // socket and the lock check: the check, which changes nothing, runs
      // again on a new one. A check that timed out is not repeated; the
      // request has waited its limit.
      if (!redis_error::closedByRedis(*context)) throw;
      context.reset();
    }
  }
  if (!context) {
    context = connect();
    waitForUnlock(context.get());
  }
  RedisReplyPtr reply(command(context.get()));
  keepIdle(std::move(context), host, port);
  return reply;
}

std::vector<RedisReplyPtr> RedisWrapper::send(redisContext* context, const std::string& lockCheck,
                                              const std::vector<std::string>& commands) {
  const bool check = !lockCheck.empty();
  if (check) redisAppendFormattedCommand(context, lockCheck.data(), lockCheck.size());
  for (const std::string& command : commands) {
    redisAppendFormattedCommand(context, command.data(), command.size());
  }
  const size_t count = commands.size() + (check ? 1 : 0);
  std::vector<RedisReplyPtr> replies;
  replies.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    void* reply = nullptr;
    if (redisGetReply(context, &reply) != REDIS_OK) break;  // the context holds the error
    replies.emplace_back(static_cast<redisReply*>(reply));
  }
  replies.resize(count);  // null for each reply that did not come
  return replies;
}

std::vector<RedisReplyPtr> RedisWrapper::readOn(redisContext* context,
                                                const std::vector<std::string>& commands) const {
  throwProbeFailure();
  throwIfHeldAtFirstCheck();
  const bool check = !t_lockSeenFree;  // else the probe's answer is this check's
  t_lockSeenFree = false;
  const std::string lockCheck = check ? formatCommand("GET %s", lockKey.c_str()) : std::string();
  std::vector<RedisReplyPtr> replies = send(context, lockCheck, commands);
  if (!check) return replies;
  const RedisReplyPtr lock = std::move(replies.front());
  replies.erase(replies.begin());
  // A lost connection never answers again: waiting on would hang the worker.
  if (!lock && context->err) throw connectionError(context);
  if (t_firstCheck == FirstCheckState::kPending) settleFirstCheck(lock.get());
  if (lock && lock->type == redis_type::kNil) return replies;
  // Held: what the commands read may be half rewritten. They go again once
  // the lock is free.
  waitForUnlock(context);
  return send(context, std::string(), commands);
}

std::vector<RedisReplyPtr> RedisWrapper::readWithLock(
    const std::vector<std::string>& commands) const {
  RedisContextPtr context = takeIdle(host, port);
  std::vector<RedisReplyPtr> replies;
  if (context) {
    try {
      replies = readOn(context.get(), commands);
    } catch (const std::runtime_error&) {
      // As in executeWithLock: the reads, which change nothing, go again on
      // a new connection when Redis closed the kept one before answering.
      if (!redis_error::closedByRedis(*context)) throw;
      context.reset();
    }
  }
  if (!context) {
    context = connect();
    replies = readOn(context.get(), commands);
  }
  keepIdle(std::move(context), host, port);
  return replies;
}

void RedisWrapper::waitForUnlock(redisContext* context) const {
  throwProbeFailure();
  throwIfHeldAtFirstCheck();
  if (t_lockSeenFree) {
    t_lockSeenFree = false;
    return;
  }
  if (t_firstCheck == FirstCheckState::kPending) {
    RedisReplyPtr reply(static_cast<redisReply*>(redisCommand(context, "GET %s", lockKey.c_str())));
    if (!reply && context->err) throw connectionError(context);
    settleFirstCheck(reply.get());
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
  const bool kept = context != nullptr;
  try {
    if (!context) context = connectToRedis(redis.host, redis.port);
  } catch (const std::runtime_error& e) {
    t_probeFailure = e.what();
    return;
  }
  RedisReplyPtr reply(
      static_cast<redisReply*>(redisCommand(context.get(), "GET %s", redis.lockKey.c_str())));
  if (!reply) {
    // A kept connection Redis closed just now: the body reconnects. Any other
    // failure (no answer within the limit) is the body's too.
    if (!(kept && redis_error::closedByRedis(*context)))
      t_probeFailure = connectionError(context.get()).what();
    return;
  }
  held_ = reply->type != redis_type::kNil;
  t_lockSeenFree = !held_;
  keepIdle(std::move(context), redis.host, redis.port);
}

Probe::~Probe() {
  t_lockSeenFree = false;
  t_probeFailure.reset();
}

FirstCheck::FirstCheck() { t_firstCheck = FirstCheckState::kPending; }

FirstCheck::~FirstCheck() { t_firstCheck = FirstCheckState::kNone; }

bool FirstCheck::held() const { return t_firstCheck == FirstCheckState::kHeld; }

}  // namespace redis_lock
