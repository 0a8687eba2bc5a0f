// Direct connections of the statistics snapshot: the snapshot reads counts
// while the companion daemon may hold its lock, so it does not wait for it.
#ifndef STATS_DIRECTREDIS_H_
#define STATS_DIRECTREDIS_H_

#include <cstdint>
#include <optional>

#include "common/RedisWrapper.h"

namespace direct_redis {

// Opens a connection to the local Redis on the build's port without the lock
// wait. On failure logs "<who>: Can't allocate redis context." or
// "<who>: Error: <text>" at alert priority and throws StatsException
// "Stats Error: Redis connection error.".
RedisContextPtr connect(const char* who);

// Runs one formatted command on `context`; null when no reply came or the
// connection is in error afterwards.
template <typename... Args>
RedisReplyPtr command(redisContext* context, const char* format, Args... args) {
  RedisReplyPtr reply(static_cast<redisReply*>(redisCommand(context, format, args...)));
  if (context->err) reply.reset();
  return reply;
}

// "LLEN key" on `context`: the length when the reply is an integer (taken as
// a signed 32-bit count), 0 for any other reply, nullopt when none came.
std::optional<int32_t> listLength(redisContext* context, const char* key);

}  // namespace direct_redis

#endif  // STATS_DIRECTREDIS_H_
