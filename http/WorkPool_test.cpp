// The bounded job pool: how many jobs it takes before refusing.
#include "http/WorkPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace {

// A burst that arrived before the idle threads woke used to be refused
// though threads were free.
TEST(WorkPoolTest, TakesAJobPerIdleThreadPlusTheQueueAndRefusesTheNext) {
  std::mutex mutex;
  std::condition_variable released;
  bool open = false;
  std::atomic<int> done{0};
  {
    http::WorkPool pool("test", 2, 1);
    for (int i = 0; i < 3; ++i) {
      std::function<void()> job = [&] {
        std::unique_lock<std::mutex> lock(mutex);
        released.wait(lock, [&] { return open; });
        ++done;
      };
      EXPECT_TRUE(pool.trySubmit(job)) << "job " << i;
    }
    std::function<void()> extra = [&] { ++done; };
    EXPECT_FALSE(pool.trySubmit(extra));
    EXPECT_TRUE(static_cast<bool>(extra)) << "a refused job is left to its caller";
    EXPECT_EQ(pool.refused(), 1u);
    {
      const std::lock_guard<std::mutex> lock(mutex);
      open = true;
    }
    released.notify_all();
    // The pool's destructor lets the jobs in hand finish.
    while (done < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(done, 3);
}

}  // namespace
