// The guard of the feed's work.
#include "threats/FeedWork.h"

#include "common/Log.h"

namespace threats {

namespace {

std::mutex& feedWorkMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

std::unique_lock<std::mutex> waitForFeedWork(const char* step) {
  std::unique_lock<std::mutex> lock(feedWorkMutex(), std::try_to_lock);
  if (lock.owns_lock()) return lock;
  logging::info("The %s waits for the feed work running now (a feed refresh or another request)",
                step);
  lock.lock();
  return lock;
}

std::unique_lock<std::mutex> tryFeedWork() {
  return std::unique_lock<std::mutex>(feedWorkMutex(), std::try_to_lock);
}

}  // namespace threats
