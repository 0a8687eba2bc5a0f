// The bounded queue of one live event stream.
#include "events/StreamQueue.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace events {

namespace {

// Past this, an emptied buffer gives its memory back rather than keep it for
// the next burst.
constexpr size_t kKeptCapacity = 64 * 1024;

}  // namespace

StreamQueue::StreamQueue(size_t limitBytes) : limit_(limitBytes) {}

bool StreamQueue::push(std::string_view bytes) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (state_ != State::kOpen) return false;
  if (buffer_.size() - offset_ + bytes.size() > limit_) {
    state_ = State::kDropped;
    std::string().swap(buffer_);
    offset_ = 0;
    return false;
  }
  if (offset_ > 0 && offset_ == buffer_.size()) {
    buffer_.clear();
    offset_ = 0;
  }
  buffer_.append(bytes);
  lastPush_ = std::chrono::steady_clock::now();
  return true;
}

long StreamQueue::take(char* to, size_t max) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (state_ == State::kDropped) return kEnd;
  const size_t n = std::min(max, buffer_.size() - offset_);
  if (n == 0) return state_ == State::kClosing ? kEnd : 0;
  std::memcpy(to, buffer_.data() + offset_, n);
  offset_ += n;
  if (offset_ == buffer_.size()) {
    if (buffer_.capacity() > kKeptCapacity) {
      std::string().swap(buffer_);
    } else {
      buffer_.clear();
    }
    offset_ = 0;
  }
  return static_cast<long>(n);
}

void StreamQueue::close() {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (state_ == State::kOpen) state_ = State::kClosing;
}

bool StreamQueue::dropped() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return state_ == State::kDropped;
}

std::chrono::steady_clock::time_point StreamQueue::lastPush() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return lastPush_;
}

void StreamQueue::setWake(std::function<void()> wake) {
  const std::lock_guard<std::mutex> lock(wakeMutex_);
  wake_ = std::move(wake);
}

void StreamQueue::notify() {
  const std::lock_guard<std::mutex> lock(wakeMutex_);
  if (wake_) wake_();
}

void StreamQueue::detach() {
  const std::lock_guard<std::mutex> lock(wakeMutex_);
  wake_ = nullptr;
}

}  // namespace events
