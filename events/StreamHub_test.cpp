// The live stream hub against lists held in memory: numbering, order,
// reconnects, the bounds, the daemon's lock and the poller's life.
#include "events/StreamHub.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/Unavailable.h"
#include "events/StreamSource.h"

namespace {

using events::StreamHub;
using events::StreamLimits;
using Stream = std::shared_ptr<http::BodyStream>;
using namespace std::chrono_literals;

// Lists shared between the test and the poller's thread; each list is held
// oldest first, so an event's number is its index plus one.
struct MemoryLists {
  std::mutex mutex;
  std::map<std::string, std::vector<std::string>> lists;
  std::map<std::string, int> eventReads;  // events() calls per key
  bool locked = false;
  bool failing = false;
  int heldAnswers = 0;  // lock checks that found the lock held
  int failures = 0;     // lock checks that failed
  bool lastAnswerHeld = false;
  int readsWhileLocked = 0;     // reads after a check that found the lock held
  std::atomic<int> sources{0};  // sources alive: the poller holds one while it runs

  void push(const std::string& key, const std::vector<std::string>& events) {
    const std::lock_guard<std::mutex> lock(mutex);
    auto& list = lists[key];
    list.insert(list.end(), events.begin(), events.end());
  }
  template <typename F>
  auto with(F f) {
    const std::lock_guard<std::mutex> lock(mutex);
    return f();
  }
};

class MemorySource : public events::StreamSource {
 public:
  explicit MemorySource(MemoryLists& lists) : lists_(lists) { ++lists_.sources; }
  ~MemorySource() override { --lists_.sources; }

  bool locked() override {
    const std::lock_guard<std::mutex> lock(lists_.mutex);
    if (lists_.failing) {
      ++lists_.failures;
      throw std::runtime_error("Redis connection error: Connection refused");
    }
    lists_.lastAnswerHeld = lists_.locked;
    if (lists_.locked) ++lists_.heldAnswers;
    return lists_.locked;
  }
  std::optional<int64_t> length(const std::string& key) override {
    const std::lock_guard<std::mutex> lock(lists_.mutex);
    if (lists_.lastAnswerHeld) ++lists_.readsWhileLocked;
    if (key == "text") return std::nullopt;
    return static_cast<int64_t>(lists_.lists[key].size());
  }
  std::vector<std::string> events(const std::string& key, int64_t first, int64_t last) override {
    const std::lock_guard<std::mutex> lock(lists_.mutex);
    if (lists_.lastAnswerHeld) ++lists_.readsWhileLocked;
    ++lists_.eventReads[key];
    const auto& list = lists_.lists[key];
    const int64_t end = std::min<int64_t>(last, static_cast<int64_t>(list.size()));
    return std::vector<std::string>(list.begin() + (first - 1),
                                    list.begin() + std::max(first - 1, end));
  }

 private:
  MemoryLists& lists_;
};

StreamLimits quickLimits() {
  StreamLimits limits;
  limits.maxStreams = 3;
  limits.queueBytes = 1000;
  limits.pollEvery = 5ms;
  limits.keepAliveEvery = 1h;
  limits.replayLimit = 5;
  limits.retryAfterSeconds = 7;
  return limits;
}

// Polls `condition` until it holds or two seconds pass.
bool eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

class StreamHubTest : public ::testing::Test {
 protected:
  explicit StreamHubTest(StreamLimits limits = quickLimits())
      : hub_([this] { return std::make_unique<MemorySource>(lists_); }, limits) {}

  // A stream of `key` opened at the list's length now.
  Stream open(const std::string& key,
              const std::optional<std::string>& lastEventId = std::nullopt) {
    Stream stream = hub_.open(key, lastEventId, [&] {
      return lists_.with([&] { return static_cast<int64_t>(lists_.lists[key].size()); });
    });
    stream->onReady([] {});
    got_.erase(stream.get());  // a new stream may take the place of one gone
    return stream;
  }

  // Everything the stream has ready, appended to `got` for `stream`.
  std::string& drain(const Stream& stream) {
    std::string& text = got_[stream.get()];
    char buffer[7];  // small, so that messages arrive in pieces
    for (long n; (n = stream->read(buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    return text;
  }
  // Waits until the stream has sent exactly `expected` so far.
  void expectText(const Stream& stream, const std::string& expected) {
    eventually([&] { return drain(stream).size() >= expected.size(); });
    EXPECT_EQ(drain(stream), expected);
  }
  bool ended(const Stream& stream) {
    char buffer[64];
    long n;
    while ((n = stream->read(buffer, sizeof buffer)) > 0) {
    }
    return n == http::BodyStream::kEnd;
  }

  MemoryLists lists_;
  std::map<const http::BodyStream*, std::string> got_;
  StreamHub hub_;
};

TEST_F(StreamHubTest, NewEventsReachEveryStreamOfTheirListInOrderNumberedByLength) {
  lists_.push("alert", {"a1", "a2"});
  const Stream first = open("alert");
  const Stream second = open("alert");
  const Stream dns = open("dns");
  lists_.push("alert", {"a3", "a4"});
  lists_.push("alert", {"a5"});
  const std::string expected = "id: 3\ndata: a3\n\nid: 4\ndata: a4\n\nid: 5\ndata: a5\n\n";
  expectText(first, expected);
  expectText(second, expected);
  lists_.push("dns", {"d1"});
  expectText(dns, "id: 1\ndata: d1\n\n");
  EXPECT_EQ(drain(first), expected);
}

TEST_F(StreamHubTest, StreamsOfOneListShareItsReads) {
  const Stream streams[] = {open("alert"), open("alert"), open("alert")};
  lists_.push("alert", {"a1"});
  for (const Stream& stream : streams) expectText(stream, "id: 1\ndata: a1\n\n");
  EXPECT_EQ(lists_.with([&] { return lists_.eventReads["alert"]; }), 1);
}

TEST_F(StreamHubTest, ReconnectGetsWhatItMissedOrAReset) {
  const std::string reset8 = "event: reset\nid: 8\ndata: {\"length\":8}\n\n";
  const struct {
    const char* lastEventId;
    std::string expected;  // before the live events
  } cases[] = {
      {"5", "id: 6\ndata: e6\n\nid: 7\ndata: e7\n\nid: 8\ndata: e8\n\n"},
      {"3",
       "id: 4\ndata: e4\n\nid: 5\ndata: e5\n\nid: 6\ndata: e6\n\nid: 7\ndata: e7\n\n"
       "id: 8\ndata: e8\n\n"},  // five missed: as many as are given again
      {"8", ""},
      {"2", reset8},  // six missed
      {"9", reset8},  // past the end: the list was emptied since
      {"abc", reset8},
      {"", reset8},
      {"-1", reset8},
  };
  lists_.push("alert", {"e1", "e2", "e3", "e4", "e5", "e6", "e7", "e8"});
  for (const auto& c : cases) {
    std::vector<Stream> streams;
    streams.push_back(open("alert", std::string(c.lastEventId)));
    SCOPED_TRACE(c.lastEventId);
    expectText(streams[0], c.expected);
  }
  // After its start, a reconnected stream follows live as any other.
  const Stream stream = open("alert", std::string("6"));
  expectText(stream, "id: 7\ndata: e7\n\nid: 8\ndata: e8\n\n");
  lists_.push("alert", {"e9"});
  expectText(stream, "id: 7\ndata: e7\n\nid: 8\ndata: e8\n\nid: 9\ndata: e9\n\n");
}

TEST_F(StreamHubTest, PlacesPastTheLimitAreRefusedAndFreedWhenAStreamEnds) {
  std::vector<Stream> streams = {open("alert"), open("dns"), open("alert")};
  EXPECT_EQ(hub_.streams(), 3u);
  try {
    open("flow");
    ADD_FAILURE() << "a fourth stream was opened";
  } catch (const Unavailable& e) {
    EXPECT_STREQ(e.what(), "Too many live event streams are open (3); try again shortly");
    EXPECT_EQ(e.retryAfterSeconds(), 7);
  }
  streams.pop_back();
  EXPECT_EQ(hub_.streams(), 2u);
  EXPECT_NO_THROW(streams.push_back(open("flow")));
}

TEST_F(StreamHubTest, FailedLengthReadPassesAndGivesThePlaceBack) {
  for (int i = 0; i < 4; ++i) {
    EXPECT_THROW(
        hub_.open("text", std::nullopt,
                  []() -> int64_t { throw std::runtime_error("Events: Invalid Redis response"); }),
        std::runtime_error);
  }
  EXPECT_EQ(hub_.streams(), 0u);
}

TEST_F(StreamHubTest, NothingIsReadWhileTheDaemonHoldsItsLock) {
  const Stream stream = open("alert");
  lists_.with([&] { return lists_.locked = true; });
  // From the first round that found the lock held on, nothing is read.
  ASSERT_TRUE(eventually([&] { return lists_.with([&] { return lists_.heldAnswers > 0; }); }));
  lists_.push("alert", {"a1"});
  const int before = lists_.with([&] { return lists_.eventReads["alert"]; });
  ASSERT_TRUE(eventually([&] { return lists_.with([&] { return lists_.heldAnswers > 5; }); }));
  EXPECT_EQ(drain(stream), "");
  lists_.with([&] { return lists_.locked = false; });
  expectText(stream, "id: 1\ndata: a1\n\n");
  EXPECT_EQ(lists_.with([&] { return lists_.readsWhileLocked; }), 0);
  EXPECT_EQ(lists_.with([&] { return lists_.eventReads["alert"]; }), before + 1);
}

TEST_F(StreamHubTest, FailedReadsAreTriedAgainNextRound) {
  const Stream stream = open("alert");
  lists_.with([&] { return lists_.failing = true; });
  ASSERT_TRUE(eventually([&] { return lists_.with([&] { return lists_.failures > 0; }); }));
  lists_.push("alert", {"a1"});
  ASSERT_TRUE(eventually([&] { return lists_.with([&] { return lists_.failures > 3; }); }));
  EXPECT_EQ(drain(stream), "");
  lists_.with([&] { return lists_.failing = false; });
  expectText(stream, "id: 1\ndata: a1\n\n");
}

TEST_F(StreamHubTest, ClientThatStopsReadingIsDroppedAndHoldsNothingElse) {
  const Stream stuck = open("alert");
  const Stream reader = open("alert");
  const std::string event(300, 'x');
  std::string expected;
  for (int n = 1; n <= 4; ++n) {
    lists_.push("alert", {event});
    expected += "id: " + std::to_string(n) + "\ndata: " + event + "\n\n";
    expectText(reader, expected);
  }
  // The fourth message would pass the stuck stream's 1000 bytes.
  EXPECT_TRUE(eventually([&] { return hub_.streams() == 1; }));
  EXPECT_TRUE(ended(stuck));
  lists_.push("alert", {"a5"});
  expectText(reader, expected + "id: 5\ndata: a5\n\n");
  EXPECT_NO_THROW(open("dns"));
}

TEST_F(StreamHubTest, EmptiedListResetsItsStreamsWhichThenFollowOn) {
  lists_.push("alert", {"a1", "a2"});
  const Stream stream = open("alert");
  lists_.with([&] { return lists_.lists["alert"] = {"b1"}; });
  const std::string reset = "event: reset\nid: 1\ndata: {\"length\":1}\n\n";
  expectText(stream, reset);
  lists_.push("alert", {"b2"});
  expectText(stream, reset + "id: 2\ndata: b2\n\n");
}

TEST_F(StreamHubTest, DestroyedStreamIsNeverWokenAndTheLastOneStopsThePoller) {
  std::atomic<int> wakes{0};
  Stream gone = open("alert");
  gone->onReady([&] { ++wakes; });
  Stream stays = open("alert");
  EXPECT_TRUE(eventually([&] { return lists_.sources == 1; }));
  gone.reset();
  const int before = wakes;
  lists_.push("alert", {"a1"});
  expectText(stays, "id: 1\ndata: a1\n\n");
  EXPECT_EQ(wakes, before);
  // One stream of another list, then none: the poller and its source go.
  Stream other = open("dns");
  stays.reset();
  EXPECT_EQ(lists_.sources, 1);
  other.reset();
  EXPECT_TRUE(eventually([&] { return lists_.sources == 0; }));
  // And a new stream starts it again.
  const Stream again = open("alert");
  lists_.push("alert", {"a2"});
  expectText(again, "id: 2\ndata: a2\n\n");
}

TEST_F(StreamHubTest, EndAllEndsEveryStreamAfterWhatItHasQueued) {
  const Stream stream = open("alert", std::string("x"));  // a reset waits
  hub_.endAll();
  EXPECT_EQ(hub_.streams(), 0u);
  EXPECT_EQ(drain(stream), "event: reset\nid: 0\ndata: {\"length\":0}\n\n");
  EXPECT_TRUE(ended(stream));
}

class StreamHubKeepAliveTest : public StreamHubTest {
 protected:
  static StreamLimits limits() {
    StreamLimits limits = quickLimits();
    limits.keepAliveEvery = 30ms;
    return limits;
  }
  StreamHubKeepAliveTest() : StreamHubTest(limits()) {}
};

TEST_F(StreamHubKeepAliveTest, QuietStreamGetsAKeepAliveComment) {
  const auto opened = std::chrono::steady_clock::now();
  const Stream stream = open("alert");
  EXPECT_TRUE(eventually([&] { return !drain(stream).empty(); }));
  EXPECT_GE(std::chrono::steady_clock::now() - opened, 30ms);
  EXPECT_EQ(drain(stream), ": keep-alive\n\n");
}

}  // namespace
