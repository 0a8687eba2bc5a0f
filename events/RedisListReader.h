// The list reads of the event operations against the local Redis, through
// RedisWrapper::executeWithLock and list_slices::walkWithLock.
#ifndef EVENTS_REDISLISTREADER_H_
#define EVENTS_REDISLISTREADER_H_

#include "events/ListReader.h"

namespace events {

// Stateless: every read takes the thread's connection (or opens one) and
// waits for the lock as RedisWrapper does; a walk uses one connection of its own.
class RedisListReader : public ListReader {
 public:
  ListReply page(const std::string& key, const std::string& start, const std::string& stop,
                 int64_t* length = nullptr) const override;
  void walk(const std::string& key, long long first, long long last, const Visit& visit,
            const Restart& restart = nullptr) const override;
  ListReply length(const std::string& key) const override;
  ListReply element(const std::string& key, long long index) const override;
  ListReply keys() const override;
  bool holdsList(const std::string& key) const override;
};

// The one reader of the production operations.
const ListReader& redisLists();

}  // namespace events

#endif  // EVENTS_REDISLISTREADER_H_
