// Slice-by-slice walks over Redis lists.
#include "common/ListSlices.h"

namespace list_slices {

void walk(const Fetch& fetch, long long first, long long last, const Visit& visit,
          long long sliceLength, const Length& length, const Restart& restart) {
  bool mayRestart = length && restart;
  long long lengthBefore = -1;  // after the previous full slice; -1 before the first
  for (long long start = first; last < 0 || start <= last; start += sliceLength) {
    long long stop = start + sliceLength - 1;
    if (last >= 0 && stop > last) stop = last;
    const RedisReplyPtr slice = fetch(start, stop);
    if (!visit(slice.get())) return;
    if (!slice || slice->type != redis_type::kArray) return;
    if (slice->elements < static_cast<size_t>(stop - start + 1)) return;
    if (!mayRestart) continue;
    const long long lengthNow = length();
    if (lengthBefore >= 0 && lengthNow >= 0 && lengthNow != lengthBefore) {
      mayRestart = false;
      restart();
      start = first - sliceLength;  // the loop's step brings it to `first`
    }
    lengthBefore = lengthNow;
  }
}

void walkWithLock(const RedisWrapper& redis, const std::string& key, long long first,
                  long long last, const Visit& visit, const Restart& restart,
                  long long sliceLength) {
  const RedisContextPtr context = redis.connect();
  const Fetch fetch = [&](long long start, long long stop) {
    return std::move(
        redis
            .readOn(context.get(), {formatCommand("LRANGE %s %lld %lld", key.c_str(), start, stop)})
            .front());
  };
  const Length length = [&]() -> long long {
    const RedisReplyPtr reply(
        static_cast<redisReply*>(redisCommand(context.get(), "LLEN %s", key.c_str())));
    return reply && reply->type == redis_type::kInteger ? reply->integer : -1;
  };
  walk(fetch, first, last, visit, sliceLength, restart ? length : Length(), restart);
}

}  // namespace list_slices
