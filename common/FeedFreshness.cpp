// The scheduled feed refresh's outcomes.
#include "common/FeedFreshness.h"

#include <atomic>
#include <chrono>

#include "common/Metrics.h"

namespace feed_freshness {

namespace {

std::atomic<int> g_failuresInARow{0};

}  // namespace

void runEnded(bool succeeded, double seconds) {
  if (succeeded) {
    g_failuresInARow = 0;
  } else {
    ++g_failuresInARow;
  }
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  metrics::feedRefreshDone(succeeded, seconds, std::chrono::duration<double>(now).count());
}

void scheduleOff() { g_failuresInARow = 0; }

bool stale() { return g_failuresInARow >= kStaleAfterFailures; }

}  // namespace feed_freshness
