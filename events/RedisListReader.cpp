// List reads against the local Redis under the companion daemon's lock.
#include "events/RedisListReader.h"

#include <cstring>
#include <string>
#include <vector>

#include "common/ListSlices.h"
#include "common/RedisWrapper.h"

namespace events {

ListReply RedisListReader::page(const std::string& key, const std::string& start,
                                const std::string& stop, int64_t* length) const {
  std::vector<std::string> commands{
      formatCommand("LRANGE %s %s %s", key.c_str(), start.c_str(), stop.c_str())};
  if (length != nullptr) commands.push_back(formatCommand("LLEN %s", key.c_str()));
  std::vector<RedisReplyPtr> replies = RedisWrapper().readWithLock(commands);
  if (length != nullptr) {
    const redisReply* count = replies[1].get();
    *length = count != nullptr && count->type == redis_type::kInteger ? count->integer : 0;
  }
  return ListReply::own(replies[0].release());
}

void RedisListReader::walk(const std::string& key, long long first, long long last,
                           const Visit& visit, const Restart& restart) const {
  list_slices::walkWithLock(
      RedisWrapper(), key, first, last,
      [&](const redisReply* slice) { return visit(ListReply::view(slice)); }, restart);
}

ListReply RedisListReader::length(const std::string& key) const {
  return ListReply::own(readWithLock("LLEN %s", key.c_str()).release());
}

ListReply RedisListReader::element(const std::string& key, long long index) const {
  return ListReply::own(readWithLock("LINDEX %s %lld", key.c_str(), index).release());
}

ListReply RedisListReader::keys() const { return ListReply::own(readWithLock("KEYS *").release()); }

bool RedisListReader::holdsList(const std::string& key) const {
  const RedisReplyPtr type = readWithLock("TYPE %s", key.c_str());
  return type && type->type == redis_type::kStatus && std::strcmp(type->str, "list") == 0;
}

const ListReader& redisLists() {
  static const RedisListReader reader;
  return reader;
}

}  // namespace events
