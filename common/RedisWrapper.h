// The one way to run a command against the local Redis: a connection, a wait
// until the companion daemon ferryd has released "lock:ferryd", and one
// command. Each thread keeps its last sound connection for its next command.
#ifndef COMMON_REDISWRAPPER_H_
#define COMMON_REDISWRAPPER_H_

#include <hiredis/hiredis.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/BuildSettings.h"

// Owns one hiredis reply; freeReplyObject runs when it goes out of scope.
struct RedisReplyDeleter {
  void operator()(redisReply* reply) const { freeReplyObject(reply); }
};
using RedisReplyPtr = std::unique_ptr<redisReply, RedisReplyDeleter>;

// Owns one hiredis connection; redisFree runs when it goes out of scope.
struct RedisContextDeleter {
  void operator()(redisContext* context) const { redisFree(context); }
};
using RedisContextPtr = std::unique_ptr<redisContext, RedisContextDeleter>;

// Reply type numbers of hiredis, as the callers test them.
namespace redis_type {
inline constexpr int kString = REDIS_REPLY_STRING;    // 1
inline constexpr int kArray = REDIS_REPLY_ARRAY;      // 2
inline constexpr int kInteger = REDIS_REPLY_INTEGER;  // 3
inline constexpr int kNil = REDIS_REPLY_NIL;          // 4
inline constexpr int kStatus = REDIS_REPLY_STATUS;    // 5
inline constexpr int kError = REDIS_REPLY_ERROR;      // 6
}  // namespace redis_type

// Opens a blocking connection to 127.0.0.1 on the Redis port. Connecting and
// every reply are bounded by build_settings::kRedisTimeoutSeconds; past it the
// command returns no reply and the context reports the error.
// Throws std::runtime_error "Can't allocate redis context", or
// "Redis connection error: " and hiredis's text when the server cannot be reached.
// Used by RedisWrapper and by the statistics snapshot, which does not wait for the lock.
// `timeoutSeconds` replaces that bound for a caller that must answer sooner.
RedisContextPtr connectToRedis(const std::string& host, int port,
                               int timeoutSeconds = build_settings::kRedisTimeoutSeconds);

// What the error a redisContext holds (err and errstr) says, for callers that
// act differently on a connection Redis closed and on one it let wait.
namespace redis_error {
// Redis closed the connection: end of file, reset, or a broken pipe.
bool closedByRedis(const redisContext& context);
// A reply (or the connection) did not come within the context's time-out.
bool timedOut(const redisContext& context);
}  // namespace redis_error

// Built on the stack for one operation and never shared between threads. The
// thread keeps the connection an operation used for its next one when every
// reply sent on it was read and it saw no error. A kept connection that Redis
// has closed (end of file or reset, before any answer) is replaced by a new
// one once; a command or lock check that timed out is never sent again, so
// every wait on Redis ends at build_settings::kRedisTimeoutSeconds once.
struct RedisWrapper {
  using Command = std::function<redisReply*(redisContext*)>;

  std::string host = "127.0.0.1";
  int port = build_settings::kRedisPort;
  std::string lockKey = "lock:ferryd";
  int retryDelayMs = 100;  // pause between two polls of the lock key

  // A new connection to host:port, as connectToRedis. Within a
  // redis_lock::Probe that met a failure (no connection, no answer in time)
  // it throws that failure's std::runtime_error at once instead of waiting again.
  RedisContextPtr connect() const;

  // Takes the thread's kept connection or connects, runs `commands` (each
  // as redisFormatCommand formats it) on it once the lock key is absent, and
  // returns their replies in order; each may be null or an error reply. Only
  // for commands that change nothing: the lock check goes in the same write,
  // and when it finds the lock held the replies are dropped and the commands
  // sent again after the wait (waitForUnlock). A kept connection that Redis
  // closed before answering is replaced once. Throws as executeWithLock.
  std::vector<RedisReplyPtr> readWithLock(const std::vector<std::string>& commands) const;

  // On `context`: `commands` as readWithLock runs them, on a connection the
  // caller holds.
  std::vector<RedisReplyPtr> readOn(redisContext* context,
                                    const std::vector<std::string>& commands) const;

  // Takes the thread's kept connection or connects, waits until the lock key
  // is absent and runs `command` on the same connection. Returns the command's reply, which may be
  // null or an error reply: callers check presence and type themselves. Throws std::runtime_error
  // when no connection can be made, or when the connection breaks or times out while waiting.
  // Never sets or deletes the lock key.
  RedisReplyPtr executeWithLock(const Command& command) const;

  // Blocks on `context` while the lock key exists (any value, even an empty
  // string, counts as held; only a nil reply counts as free). An error reply
  // is retried after the delay; a broken connection throws std::runtime_error.
  // A held lock throws Unavailable once build_settings::kLockWaitSeconds
  // have passed. The first wait on a thread within a redis_lock::Probe that
  // found the lock free returns at once: the probe was its lock check; within
  // one that failed it throws the probe's std::runtime_error at once. Within
  // a redis_lock::FirstCheck, the thread's first check does not wait: a held
  // lock throws redis_lock::HeldAtFirstCheck, and so does every check after.
  void waitForUnlock(redisContext* context) const;

 private:
  // Sends the formatted `lockCheck` (none when empty) and `commands` in one
  // write on `context` and reads every reply; the first is the check's.
  static std::vector<RedisReplyPtr> send(redisContext* context, const std::string& lockCheck,
                                         const std::vector<std::string>& commands);
};

namespace redis_lock {

// Asks once, without waiting, whether the companion daemon holds
// "lock:ferryd": so that the frame can move a request that would wait off a
// thread that must not, before anything of it runs. Uses the thread's kept
// connection, or a new one. While the probe lives, the thread's first lock
// wait (RedisWrapper::waitForUnlock) takes a free answer as its own instead
// of asking again; the lock may be taken in between, as it may between any
// lock check and its command.
class Probe {
 public:
  Probe();
  ~Probe();
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  // True when the lock is held, or Redis answered the check with an error
  // (the wait would retry it). False when it is free, and when Redis cannot
  // be reached or did not answer in time: the body's first connection or
  // lock wait on this thread then throws that failure at once, without
  // waiting on Redis again.
  bool held() const { return held_; }

 private:
  bool held_ = false;
};

// Thrown by a lock check within a FirstCheck that found the lock held (or
// answered with an error, which a wait would retry).
class HeldAtFirstCheck : public std::runtime_error {
 public:
  HeldAtFirstCheck() : std::runtime_error("lock:ferryd is held: the request moves on") {}
};

// Leaves the frame's lock check to the body's first one, which then goes to
// Redis in the same write as the body's first read, a round trip less than a
// Probe. For a body that does nothing but read before that first check: when
// the lock is held, the check throws HeldAtFirstCheck and so does every check
// after it, the body's reply means nothing, and the frame runs the body again
// where it may wait.
class FirstCheck {
 public:
  FirstCheck();
  ~FirstCheck();
  FirstCheck(const FirstCheck&) = delete;
  FirstCheck& operator=(const FirstCheck&) = delete;

  // Whether a check within it found the lock held, whatever the body made of
  // the exception.
  bool held() const;
};

}  // namespace redis_lock

// One formatted command ("LLEN %s", key) through a RedisWrapper with its
// defaults: the thread's connection and the lock wait. Returns and throws as executeWithLock.
template <typename... Args>
RedisReplyPtr runWithLock(const char* format, Args... args) {
  const RedisWrapper redis;
  return redis.executeWithLock([&](redisContext* context) {
    return static_cast<redisReply*>(redisCommand(context, format, args...));
  });
}

// A command in Redis's protocol, as redisFormatCommand formats `format`
// ("LLEN %s") with `args`. Throws std::runtime_error for a format hiredis
// refuses.
template <typename... Args>
std::string formatCommand(const char* format, Args... args) {
  char* formatted = nullptr;
  const int length = redisFormatCommand(&formatted, format, args...);
  if (length < 0) throw std::runtime_error("Can't format a Redis command");
  std::string command(formatted, static_cast<size_t>(length));
  redisFreeCommand(formatted);
  return command;
}

// One formatted read ("LLEN %s", key) through RedisWrapper::readWithLock:
// the thread's connection, the lock check in the same write. Only for
// commands that change nothing. Returns and throws as executeWithLock.
template <typename... Args>
RedisReplyPtr readWithLock(const char* format, Args... args) {
  return std::move(RedisWrapper().readWithLock({formatCommand(format, args...)}).front());
}

#endif  // COMMON_REDISWRAPPER_H_
