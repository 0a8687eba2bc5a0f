// List reads against the local Redis under the companion daemon's lock.
#include "events/RedisListReader.h"

#include <cstring>

#include "common/ListSlices.h"
#include "common/RedisWrapper.h"

namespace events {

ListReply RedisListReader::page(const std::string& key, const std::string& start,
                                const std::string& stop, int64_t* length) const {
  RedisReplyPtr count;
  const RedisWrapper redis;
  redisReply* reply = redis
                          .executeWithLock([&](redisContext* context) -> redisReply* {
                            redisAppendCommand(context, "LRANGE %s %s %s", key.c_str(),
                                               start.c_str(), stop.c_str());
                            if (length != nullptr)
                              redisAppendCommand(context, "LLEN %s", key.c_str());
                            void* page = nullptr;
                            if (redisGetReply(context, &page) != REDIS_OK) return nullptr;
                            void* total = nullptr;
                            if (length != nullptr && redisGetReply(context, &total) == REDIS_OK) {
                              count.reset(static_cast<redisReply*>(total));
                            }
                            return static_cast<redisReply*>(page);
                          })
                          .release();
  if (length != nullptr) {
    *length = count && count->type == redis_type::kInteger ? count->integer : 0;
  }
  return ListReply::own(reply);
}

void RedisListReader::walk(const std::string& key, long long first, long long last,
                           const Visit& visit, const Restart& restart) const {
  list_slices::walkWithLock(
      RedisWrapper(), key, first, last,
      [&](const redisReply* slice) { return visit(ListReply::view(slice)); }, restart);
}

ListReply RedisListReader::length(const std::string& key) const {
  return ListReply::own(runWithLock("LLEN %s", key.c_str()).release());
}

ListReply RedisListReader::element(const std::string& key, long long index) const {
  return ListReply::own(runWithLock("LINDEX %s %lld", key.c_str(), index).release());
}

ListReply RedisListReader::keys() const { return ListReply::own(runWithLock("KEYS *").release()); }

bool RedisListReader::holdsList(const std::string& key) const {
  const RedisReplyPtr type = runWithLock("TYPE %s", key.c_str());
  return type && type->type == redis_type::kStatus && std::strcmp(type->str, "list") == 0;
}

const ListReader& redisLists() {
  static const RedisListReader reader;
  return reader;
}

}  // namespace events
