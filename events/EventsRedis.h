// One Redis command for the event operations, through a fresh RedisWrapper:
// its own connection and its own wait for the companion daemon's lock.
#ifndef EVENTS_EVENTSREDIS_H_
#define EVENTS_EVENTSREDIS_H_

#include "common/RedisWrapper.h"

namespace events_redis {

// Sends `format` with `args` (hiredis format string) and returns the reply,
// which may be null or an error reply. Throws std::runtime_error when Redis
// cannot be reached.
template <typename... Args>
RedisReplyPtr run(const char* format, Args... args) {
  RedisWrapper redis;
  return redis.executeWithLock([&](redisContext* context) {
    return static_cast<redisReply*>(redisCommand(context, format, args...));
  });
}

}  // namespace events_redis

#endif  // EVENTS_EVENTSREDIS_H_
