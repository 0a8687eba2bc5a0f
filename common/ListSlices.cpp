// Slice-by-slice walks over Redis lists.
#include "common/ListSlices.h"

namespace list_slices {

void walk(const Fetch& fetch, long long first, long long last, const Visit& visit,
          long long sliceLength) {
  for (long long start = first; last < 0 || start <= last; start += sliceLength) {
    long long stop = start + sliceLength - 1;
    if (last >= 0 && stop > last) stop = last;
    const RedisReplyPtr slice = fetch(start, stop);
    if (!visit(slice.get())) return;
    if (!slice || slice->type != redis_type::kArray) return;
    if (slice->elements < static_cast<size_t>(stop - start + 1)) return;
  }
}

void walkWithLock(const RedisWrapper& redis, const std::string& key, long long first,
                  long long last, const Visit& visit, long long sliceLength) {
  const RedisContextPtr context = connectToRedis(redis.host, redis.port);
  const Fetch fetch = [&](long long start, long long stop) {
    redis.waitForUnlock(context.get());
    return RedisReplyPtr(static_cast<redisReply*>(
        redisCommand(context.get(), "LRANGE %s %lld %lld", key.c_str(), start, stop)));
  };
  walk(fetch, first, last, visit, sliceLength);
}

}  // namespace list_slices
