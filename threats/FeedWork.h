// The one guard of the feed's work in this process: a download, a store
// rebuild from the feed file or a rule generation runs only while holding
// it, whether an operator's request or the scheduled refresh started it, so
// that the refresh never runs beside a manual step.
#ifndef THREATS_FEEDWORK_H_
#define THREATS_FEEDWORK_H_

#include <mutex>

namespace threats {

// For the routes "/ioc/download/", "/ioc/filter/:n_days" and "/ioc/fetch/":
// holds the guard, waiting while other feed work (a scheduled refresh or
// another of these requests) holds it; a wait is logged at informational
// priority naming `step`. Every step the holder runs has its own time
// limit, so the wait ends.
std::unique_lock<std::mutex> waitForFeedWork(const char* step);

// For the scheduled refresh: the guard held when it was free, not held
// (owns_lock() false) when other feed work runs. Never waits.
std::unique_lock<std::mutex> tryFeedWork();

}  // namespace threats

#endif  // THREATS_FEEDWORK_H_
