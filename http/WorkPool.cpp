// The bounded job pool.
#include "http/WorkPool.h"

#include <sys/resource.h>
#include <unistd.h>

#include <utility>

#include "common/Metrics.h"

namespace http {

WorkPool::WorkPool(std::string name, int threads, size_t queueLimit, int nice)
    : name_(std::move(name)), queueLimit_(queueLimit) {
  threads_.reserve(static_cast<size_t>(threads));
  for (int i = 0; i < threads; ++i) threads_.emplace_back([this, nice] { work(nice); });
}

WorkPool::~WorkPool() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

bool WorkPool::trySubmit(std::function<void()>& job) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    // Threads not busy take the first jobs of the queue; only jobs beyond
    // them wait, and at most queueLimit_ of those. A burst that arrives
    // before the idle threads wake is not refused for it.
    if (queue_.size() >= queueLimit_ + (threads_.size() - busy_)) {
      ++refused_;
      metrics::queueRefused(name_);
      return false;
    }
    queue_.push_back(std::move(job));
    metrics::queueDepth(name_, queue_.size());
  }
  ready_.notify_one();
  return true;
}

size_t WorkPool::refused() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return refused_;
}

void WorkPool::work(int nice) {
  // Linux keeps a niceness per thread: a scan yields the cores to the HTTP threads.
  if (nice != 0) setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), nice);
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
      ++busy_;
      metrics::queueDepth(name_, queue_.size());
    }
    job();
    const std::lock_guard<std::mutex> lock(mutex_);
    --busy_;
  }
}

}  // namespace http
