// The bytes of one live event stream that its client has not taken yet:
// filled by the poller's thread, emptied by the HTTP thread that sends them,
// bounded so that a client that stops reading cannot hold memory.
#ifndef EVENTS_STREAMQUEUE_H_
#define EVENTS_STREAMQUEUE_H_

#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace events {

// Thread-safe; never blocks beyond a copy. take() answers as
// http::BodyStream::read does.
class StreamQueue {
 public:
  static constexpr long kEnd = -1;

  // At most `limitBytes` may wait unsent.
  explicit StreamQueue(size_t limitBytes);
  StreamQueue(const StreamQueue&) = delete;
  StreamQueue& operator=(const StreamQueue&) = delete;

  // Appends `bytes`. When that would pass the limit, the queue is dropped
  // instead: what waited is freed, nothing more is taken and take() answers
  // kEnd. False once the queue is dropped or closed.
  bool push(std::string_view bytes);
  // Copies up to `max` waiting bytes into `to` and answers how many; 0 when
  // none wait, kEnd once dropped, or closed with nothing left.
  long take(char* to, size_t max);
  // Ends the queue after what waits has been taken.
  void close();
  // Whether a push found no room and dropped the queue.
  bool dropped() const;
  // When bytes were last pushed (the queue's making, before the first push).
  std::chrono::steady_clock::time_point lastPush() const;

  // `wake` is called by notify() until detach().
  void setWake(std::function<void()> wake);
  // Calls the wake function, if one is set; from any thread.
  void notify();
  // Forgets the wake function: once this returns, notify() never calls it,
  // even from a call that had begun before.
  void detach();

 private:
  enum class State { kOpen, kClosing, kDropped };

  const size_t limit_;
  mutable std::mutex mutex_;  // guards the fields below up to wakeMutex_
  std::string buffer_;        // bytes from offset_ on wait to be taken
  size_t offset_ = 0;
  State state_ = State::kOpen;
  std::chrono::steady_clock::time_point lastPush_ = std::chrono::steady_clock::now();

  // Held while the wake function runs, so that detach() waits for a call in
  // progress; take() never needs it, so a wake that reads at once cannot
  // deadlock.
  std::mutex wakeMutex_;
  std::function<void()> wake_;
};

}  // namespace events

#endif  // EVENTS_STREAMQUEUE_H_
