// The guard of the feed's work.
#include "threats/FeedWork.h"

#include "common/Log.h"

namespace threats {

namespace {

std::shared_mutex& feedWorkMutex() {
  static std::shared_mutex mutex;
  return mutex;
}

}  // namespace

std::shared_lock<std::shared_mutex> waitForFeedWork(const char* step) {
  std::shared_lock<std::shared_mutex> lock(feedWorkMutex(), std::try_to_lock);
  if (lock.owns_lock()) return lock;
  logging::info("The %s waits for the scheduled feed refresh running now", step);
  lock.lock();
  return lock;
}

std::unique_lock<std::shared_mutex> tryFeedWork() {
  return std::unique_lock<std::shared_mutex>(feedWorkMutex(), std::try_to_lock);
}

}  // namespace threats
