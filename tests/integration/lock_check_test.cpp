// Reads that carry their lock check in the same write, and the first check
// that stops a reading body instead of waiting, against the tests' Redis.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "common/RedisWrapper.h"
#include "support/Harness.h"

namespace {

using harness::TestRedis;

class LockCheckTest : public harness::IntegrationTest {};

std::vector<std::string> pageAndLength(const std::string& key) {
  return {formatCommand("LRANGE %s 0 -1", key.c_str()), formatCommand("LLEN %s", key.c_str())};
}

TEST_F(LockCheckTest, ReadsComeBackInOrderAfterTheCheck) {
  TestRedis::rpush("dns", {R"({"n":1})", R"({"n":2})"});
  const std::vector<RedisReplyPtr> replies = RedisWrapper().readWithLock(pageAndLength("dns"));
  ASSERT_EQ(replies.size(), 2u);
  ASSERT_EQ(replies[0]->type, redis_type::kArray);
  EXPECT_EQ(replies[0]->elements, 2u);
  EXPECT_EQ(replies[1]->integer, 2);
  // The thread's connection is sound for the next read.
  EXPECT_EQ(readWithLock("LLEN %s", "dns")->integer, 2);
}

// What a read gets while the lock is held is dropped: the reads go again once
// it is free, and see what the daemon wrote meanwhile.
TEST_F(LockCheckTest, AReadUnderTheLockGoesAgainOnceItIsFree) {
  TestRedis::rpush("dns", {R"({"n":1})"});
  TestRedis::command({"SET", "lock:ferryd", "1"});
  auto pending = std::async(std::launch::async, [] { return readWithLock("LLEN %s", "dns"); });
  ASSERT_EQ(pending.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  TestRedis::rpush("dns", {R"({"n":2})", R"({"n":3})"});
  TestRedis::command({"DEL", "lock:ferryd"});
  ASSERT_EQ(pending.wait_for(std::chrono::seconds(2)), std::future_status::ready);
  EXPECT_EQ(pending.get()->integer, 3);
}

// Within a FirstCheck nothing waits: the first check that finds the lock
// held throws, every check after it throws at once (a body that swallowed
// the first is still stopped), and the frame sees it through held().
TEST_F(LockCheckTest, TheFirstCheckStopsTheBodyInsteadOfWaiting) {
  TestRedis::rpush("dns", {R"({"n":1})"});
  for (const std::string value : {"1", ""}) {
    SCOPED_TRACE("lock value '" + value + "'");
    TestRedis::command({"SET", "lock:ferryd", value});
    const auto started = std::chrono::steady_clock::now();
    {
      const redis_lock::FirstCheck check;
      EXPECT_THROW(RedisWrapper().readWithLock(pageAndLength("dns")), redis_lock::HeldAtFirstCheck);
      EXPECT_TRUE(check.held());
      EXPECT_THROW(readWithLock("LLEN %s", "dns"), redis_lock::HeldAtFirstCheck);
      EXPECT_THROW(RedisWrapper().executeWithLock([](redisContext* context) {
        return static_cast<redisReply*>(redisCommand(context, "PING"));
      }),
                   redis_lock::HeldAtFirstCheck);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
    TestRedis::command({"DEL", "lock:ferryd"});
  }
  // Free at the first check: the body reads on, and later checks wait as usual.
  const redis_lock::FirstCheck check;
  EXPECT_EQ(readWithLock("LLEN %s", "dns")->integer, 1);
  EXPECT_FALSE(check.held());
  TestRedis::command({"SET", "lock:ferryd", "1"});
  std::thread release([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    TestRedis::command({"DEL", "lock:ferryd"});
  });
  EXPECT_EQ(readWithLock("LLEN %s", "dns")->integer, 1);
  release.join();
  EXPECT_FALSE(check.held());
}

// The first check may also be made by a body's own command (not a read).
TEST_F(LockCheckTest, TheFirstCheckOfACommandStopsTheBodyToo) {
  TestRedis::command({"SET", "lock:ferryd", "1"});
  const redis_lock::FirstCheck check;
  EXPECT_THROW(RedisWrapper().executeWithLock([](redisContext* context) {
    return static_cast<redisReply*>(redisCommand(context, "DEL %s", "dns"));
  }),
               redis_lock::HeldAtFirstCheck);
  EXPECT_TRUE(check.held());
  EXPECT_EQ(TestRedis::command({"GET", "lock:ferryd"})->str, std::string("1"));
}

}  // namespace
