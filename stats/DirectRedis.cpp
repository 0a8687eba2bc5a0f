// Direct Redis connections of the statistics snapshot.
#include "stats/DirectRedis.h"

#include <string>

#include "common/BuildSettings.h"
#include "common/Log.h"
#include "stats/StatsException.h"

namespace direct_redis {

RedisContextPtr connect(const char* who) {
  try {
    return connectToRedis("127.0.0.1", build_settings::kRedisPort);
  } catch (const std::runtime_error& e) {
    static const std::string kErrorPrefix = "Redis connection error: ";
    const std::string message = e.what();
    if (message.compare(0, kErrorPrefix.size(), kErrorPrefix) == 0) {
      logging::alert("%s: Error: %s", who, message.c_str() + kErrorPrefix.size());
    } else {
      logging::alert("%s: Can't allocate redis context.", who);
    }
    throw StatsException("Stats Error: Redis connection error.");
  }
}

std::optional<int32_t> listLength(redisContext* context, const char* key) {
  const RedisReplyPtr reply = command(context, "LLEN %s", key);
  if (!reply) return std::nullopt;
  return reply->type == redis_type::kInteger ? static_cast<int32_t>(reply->integer) : 0;
}

}  // namespace direct_redis
