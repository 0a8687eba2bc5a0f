// The live event stream's reads on a Redis connection of its own.
#include "events/RedisStreamSource.h"

#include <stdexcept>
#include <utility>

namespace events {

RedisStreamSource::RedisStreamSource(RedisWrapper settings) : settings_(std::move(settings)) {}

RedisReplyPtr RedisStreamSource::run(const char* format, const std::string& key, long long a,
                                     long long b) {
  if (!context_) context_ = connectToRedis(settings_.host, settings_.port);
  RedisReplyPtr reply(
      static_cast<redisReply*>(redisCommand(context_.get(), format, key.c_str(), a, b)));
  if (!reply) {
    const std::string reason = context_->errstr;
    context_.reset();
    throw std::runtime_error("Redis connection error: " + reason);
  }
  return reply;
}

bool RedisStreamSource::locked() {
  return run("GET %s", settings_.lockKey)->type != redis_type::kNil;
}

std::optional<int64_t> RedisStreamSource::length(const std::string& key) {
  const RedisReplyPtr reply = run("LLEN %s", key);
  if (reply->type != redis_type::kInteger) return std::nullopt;
  return reply->integer;
}

std::vector<std::string> RedisStreamSource::events(const std::string& key, int64_t first,
                                                   int64_t last) {
  const RedisReplyPtr reply = run("LRANGE %s %lld %lld", key, -static_cast<long long>(last),
                                  -static_cast<long long>(first));
  std::vector<std::string> events;
  if (reply->type != redis_type::kArray) return events;
  events.reserve(reply->elements);
  // The reply runs from the head (the newest) towards the tail.
  for (size_t i = reply->elements; i-- > 0;) {
    const redisReply* element = reply->element[i];
    events.emplace_back(element->str != nullptr ? std::string(element->str, element->len) : "");
  }
  return events;
}

}  // namespace events
