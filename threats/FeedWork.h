// The one guard of the feed's work in this process between the scheduled
// refresh and the manual routes: the refresh runs its download, store
// rebuild and rule generation only while no manual one runs, and a manual
// one waits while the refresh runs. Manual requests among themselves are
// not held up by it.
#ifndef THREATS_FEEDWORK_H_
#define THREATS_FEEDWORK_H_

#include <mutex>
#include <shared_mutex>

namespace threats {

// For the routes "/ioc/download/", "/ioc/filter/:n_days" and "/ioc/fetch/":
// a shared hold of the guard, waiting while the scheduled refresh holds it;
// a wait is logged at informational priority naming `step`. Every step of
// the refresh has its own time limit, so the wait ends.
std::shared_lock<std::shared_mutex> waitForFeedWork(const char* step);

// For the scheduled refresh: the guard held alone when no manual step holds
// it, not held (owns_lock() false) otherwise. Never waits.
std::unique_lock<std::shared_mutex> tryFeedWork();

}  // namespace threats

#endif  // THREATS_FEEDWORK_H_
