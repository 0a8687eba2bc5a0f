// A fixed set of threads taking jobs from a bounded queue: where the handler
// frame runs the requests that must not hold an HTTP thread.
#ifndef HTTP_WORKPOOL_H_
#define HTTP_WORKPOOL_H_

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace http {

class WorkPool {
 public:
  // Starts `threads` threads, each at scheduling niceness `nice` (0: as the
  // server), that run jobs in order of arrival; at most `queueLimit` wait.
  WorkPool(std::string name, int threads, size_t queueLimit, int nice = 0);
  ~WorkPool();
  WorkPool(const WorkPool&) = delete;
  WorkPool& operator=(const WorkPool&) = delete;

  // Queues `job` unless `queueLimit` jobs already wait beyond those the idle
  // threads will take; false (and `job` untouched) then. Never blocks.
  bool trySubmit(std::function<void()>& job);

  const std::string& name() const { return name_; }
  // Jobs refused so far (the metrics follow the queue's depth as it moves).
  size_t refused() const;

 private:
  void work(int nice);

  const std::string name_;
  const size_t queueLimit_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> queue_;
  size_t refused_ = 0;
  size_t busy_ = 0;  // threads running a job
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace http

#endif  // HTTP_WORKPOOL_H_
