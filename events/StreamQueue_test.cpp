// The bounded queue of one live stream: partial takes, the bound, the end.
#include "events/StreamQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

using events::StreamQueue;

std::string takeAll(StreamQueue& queue, size_t step = 3) {
  std::string out;
  char buffer[16];
  for (long n; (n = queue.take(buffer, step)) > 0;) out.append(buffer, static_cast<size_t>(n));
  return out;
}

TEST(StreamQueueTest, BytesComeOutInOrderInPiecesOfAnySize) {
  StreamQueue queue(100);
  char buffer[16];
  EXPECT_EQ(queue.take(buffer, sizeof buffer), 0);
  EXPECT_TRUE(queue.push("abcdefg"));
  EXPECT_TRUE(queue.push("hij"));
  EXPECT_EQ(takeAll(queue), "abcdefghij");
  EXPECT_EQ(queue.take(buffer, sizeof buffer), 0);
  EXPECT_TRUE(queue.push("k"));
  EXPECT_EQ(takeAll(queue), "k");
}

TEST(StreamQueueTest, PushPastTheBoundDropsEverythingAndEndsTheQueue) {
  StreamQueue queue(10);
  EXPECT_TRUE(queue.push("12345"));
  EXPECT_TRUE(queue.push("67890"));  // exactly the bound
  EXPECT_FALSE(queue.dropped());
  char buffer[4];
  EXPECT_EQ(queue.take(buffer, 4), 4);  // 6 wait: room for 4 more
  EXPECT_TRUE(queue.push("abcd"));
  EXPECT_FALSE(queue.push("e"));
  EXPECT_TRUE(queue.dropped());
  EXPECT_EQ(queue.take(buffer, 4), StreamQueue::kEnd);
  EXPECT_FALSE(queue.push("x"));
  EXPECT_EQ(queue.take(buffer, 4), StreamQueue::kEnd);
}

TEST(StreamQueueTest, ClosedQueueEndsAfterWhatWaits) {
  StreamQueue queue(100);
  queue.push("abc");
  queue.close();
  EXPECT_FALSE(queue.push("d"));
  EXPECT_EQ(takeAll(queue, 2), "abc");
  char buffer[4];
  EXPECT_EQ(queue.take(buffer, 4), StreamQueue::kEnd);
}

TEST(StreamQueueTest, NoWakeAfterDetachEvenFromACallUnderWay) {
  StreamQueue queue(100);
  std::atomic<int> calls{0};
  std::atomic<bool> inWake{false};
  std::atomic<bool> release{false};
  queue.setWake([&] {
    inWake = true;
    while (!release) std::this_thread::yield();
    ++calls;
  });
  std::thread waker([&] { queue.notify(); });
  while (!inWake) std::this_thread::yield();
  std::atomic<bool> detached{false};
  std::thread detacher([&] {
    queue.detach();
    detached = true;
  });
  // detach() waits for the wake that has begun.
  for (int i = 0; i < 1000 && !detached; ++i) std::this_thread::yield();
  EXPECT_FALSE(detached);
  release = true;
  waker.join();
  detacher.join();
  EXPECT_EQ(calls, 1);
  queue.notify();
  EXPECT_EQ(calls, 1);
}

}  // namespace
