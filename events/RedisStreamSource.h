// The live event stream's reads against the local Redis, on one connection
// that the poller keeps open between its rounds.
#ifndef EVENTS_REDISSTREAMSOURCE_H_
#define EVENTS_REDISSTREAMSOURCE_H_

#include <string>

#include "common/RedisWrapper.h"
#include "events/StreamSource.h"

namespace events {

// Connects on first use and again after a failure. The lock check is one
// "GET lock:ferryd" (any value counts as held, as for every other reader);
// lengths are "LLEN key", events "LRANGE key -last -first" (counted from the
// tail, so pushes at the head between two reads shift nothing).
class RedisStreamSource : public StreamSource {
 public:
  explicit RedisStreamSource(RedisWrapper settings = RedisWrapper());

  bool locked() override;
  std::optional<int64_t> length(const std::string& key) override;
  std::vector<std::string> events(const std::string& key, int64_t first, int64_t last) override;

 private:
  // One command on the kept connection (made when there is none). Throws
  // std::runtime_error when no connection can be made or no reply comes; the
  // connection is then dropped and the next command connects again.
  RedisReplyPtr run(const char* format, const std::string& key, long long a = 0, long long b = 0);

  RedisWrapper settings_;  // host, port and lock key
  RedisContextPtr context_;
};

}  // namespace events

#endif  // EVENTS_REDISSTREAMSOURCE_H_
