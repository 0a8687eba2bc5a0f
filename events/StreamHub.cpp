// The live event streams and their poller.
#include "events/StreamHub.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "common/Log.h"
#include "common/Unavailable.h"
#include "events/StreamMessages.h"
#include "events/StreamQueue.h"
#include "events/StreamSource.h"

namespace events {

namespace {

using Clock = std::chrono::steady_clock;
using QueuePtr = std::shared_ptr<StreamQueue>;

// One open stream as the poller sees it.
struct Client {
  QueuePtr queue;
  int64_t seen;  // the list length up to which the client has been sent events
};

// What one round read of one list: its length, and events `first` onwards.
struct Round {
  std::string key;
  std::optional<int64_t> length;  // nothing: the list was not read this round
  int64_t first = 0;
  std::vector<std::string> events;
};

}  // namespace

struct StreamHub::Core {
  Core(SourceMaker maker, StreamLimits bounds) : makeSource(std::move(maker)), limits(bounds) {}

  void join();
  void leave(const std::string& key, uint64_t id);
  void pollLoop();
  std::vector<Round> read(StreamSource& source,
                          const std::vector<std::pair<std::string, int64_t>>& wants);
  void deliver(const Round& round, std::vector<QueuePtr>& woken);
  void keepAlive(std::vector<QueuePtr>& woken);
  // Removes the clients whose queue a push has dropped; their places are free again.
  void sweep();
  // Removes the client `id` of `list`; its place is free again.
  void erase(std::map<std::string, std::map<uint64_t, Client>>::iterator list, uint64_t id);

  const SourceMaker makeSource;
  const StreamLimits limits;

  mutable std::mutex mutex;  // guards everything below
  std::condition_variable changed;
  std::map<std::string, std::map<uint64_t, Client>> lists;  // by key, then stream id
  size_t places = 0;  // streams open, and opens that took a place and read the length
  uint64_t nextId = 1;
  bool pollNow = false;  // a stream opened: the poller skips its pause
  bool stopping = false;
  bool running = false;  // the poller thread runs its loop
  bool failing = false;  // the last read failed; logged once per spell
  std::thread poller;
};

namespace {

// The body of one live event stream, handed to the endpoint.
class LiveStream : public http::BodyStream {
 public:
  LiveStream(std::shared_ptr<StreamHub::Core> core, std::string key, uint64_t id, QueuePtr queue)
      : core_(std::move(core)), key_(std::move(key)), id_(id), queue_(std::move(queue)) {}
  ~LiveStream() override {
    core_->leave(key_, id_);
    queue_->detach();
  }

  long read(char* to, size_t max) override { return queue_->take(to, max); }
  void onReady(std::function<void()> wake) override { queue_->setWake(std::move(wake)); }

 private:
  std::shared_ptr<StreamHub::Core> core_;
  std::string key_;
  uint64_t id_;
  QueuePtr queue_;
};

}  // namespace

void StreamHub::Core::erase(std::map<std::string, std::map<uint64_t, Client>>::iterator list,
                            uint64_t id) {
  if (list->second.erase(id) == 0) return;
  --places;
  if (list->second.empty()) lists.erase(list);
  changed.notify_all();
}

void StreamHub::Core::leave(const std::string& key, uint64_t id) {
  const std::lock_guard<std::mutex> lock(mutex);
  const auto list = lists.find(key);
  if (list != lists.end()) erase(list, id);
}

void StreamHub::Core::join() {
  {
    const std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
    changed.notify_all();
  }
  if (poller.joinable()) poller.join();
}

std::vector<Round> StreamHub::Core::read(
    StreamSource& source, const std::vector<std::pair<std::string, int64_t>>& wants) {
  std::vector<Round> rounds;
  try {
    for (const auto& [key, from] : wants) {
      Round round{key, std::nullopt, 0, {}};
      if (!source.locked()) {
        round.length = source.length(key);
        if (round.length && *round.length > from) {
          const int64_t count = std::min(*round.length - from, limits.replayLimit);
          round.first = *round.length - count + 1;
          round.events = source.events(key, round.first, *round.length);
        }
      }
      rounds.push_back(std::move(round));
    }
    if (failing) logging::notice("Live events: reading the lists works again");
    failing = false;
  } catch (const std::exception& e) {
    if (!failing) logging::error("Live events: reading the lists failed: %s", e.what());
    failing = true;
  }
  return rounds;
}

void StreamHub::Core::deliver(const Round& round, std::vector<QueuePtr>& woken) {
  const auto list = lists.find(round.key);
  if (list == lists.end() || !round.length) return;
  const int64_t length = *round.length;
  const int64_t last = round.first + static_cast<int64_t>(round.events.size()) - 1;
  std::vector<std::string> messages;  // written once, for the first client that needs them
  for (auto& [id, client] : list->second) {
    std::string bytes;
    if (length < client.seen || length - client.seen > limits.replayLimit) {
      bytes = stream_text::reset(length);
    } else if (length == client.seen || client.seen + 1 < round.first || last < length) {
      // Nothing new; or a stream that opened after the round began, or a list
      // that shrank between its length and its events: the next round serves it.
      continue;
    } else {
      if (messages.empty()) {
        for (int64_t n = round.first; n <= last; ++n) {
          messages.push_back(stream_text::message(n, round.events[n - round.first]));
        }
      }
      for (int64_t n = client.seen + 1; n <= length; ++n) bytes += messages[n - round.first];
    }
    client.seen = length;
    client.queue->push(bytes);
    woken.push_back(client.queue);
  }
}

void StreamHub::Core::sweep() {
  for (auto list = lists.begin(); list != lists.end();) {
    auto& clients = list->second;
    for (auto client = clients.begin(); client != clients.end();) {
      if (!client->second.queue->dropped()) {
        ++client;
        continue;
      }
      logging::warning("Live events: a client of %s stopped reading; its stream is dropped",
                       list->first.c_str());
      client = clients.erase(client);
      --places;
    }
    list = clients.empty() ? lists.erase(list) : std::next(list);
  }
}

void StreamHub::Core::keepAlive(std::vector<QueuePtr>& woken) {
  const Clock::time_point quietSince = Clock::now() - limits.keepAliveEvery;
  for (auto& [key, clients] : lists) {
    for (auto& [id, client] : clients) {
      if (client.queue->lastPush() > quietSince) continue;
      client.queue->push(stream_text::kKeepAlive);
      woken.push_back(client.queue);
    }
  }
}

void StreamHub::Core::pollLoop() {
  std::unique_ptr<StreamSource> source;
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    if (stopping || lists.empty()) {
      running = false;
      return;
    }
    std::vector<std::pair<std::string, int64_t>> wants;  // each list, the least any stream has seen
    for (const auto& [key, clients] : lists) {
      int64_t from = clients.begin()->second.seen;
      for (const auto& [id, client] : clients) from = std::min(from, client.seen);
      wants.emplace_back(key, from);
    }
    pollNow = false;
    lock.unlock();
    if (!source) source = makeSource();
    const std::vector<Round> rounds = read(*source, wants);
    lock.lock();
    std::vector<QueuePtr> woken;
    for (const Round& round : rounds) deliver(round, woken);
    keepAlive(woken);
    sweep();
    lock.unlock();
    for (const QueuePtr& queue : woken) queue->notify();
    woken.clear();
    lock.lock();
    changed.wait_for(lock, limits.pollEvery, [this] { return stopping || pollNow; });
  }
}

StreamHub::StreamHub(SourceMaker makeSource, StreamLimits limits)
    : core_(std::make_shared<Core>(std::move(makeSource), limits)) {}

StreamHub::~StreamHub() {
  endAll();
  core_->join();
}

std::shared_ptr<http::BodyStream> StreamHub::open(const std::string& key,
                                                  const std::optional<std::string>& lastEventId,
                                                  const std::function<int64_t()>& lengthNow) {
  Core& core = *core_;
  {
    const std::lock_guard<std::mutex> lock(core.mutex);
    if (core.places >= core.limits.maxStreams) {
      throw Unavailable("Too many live event streams are open (" +
                            std::to_string(core.limits.maxStreams) + "); try again shortly",
                        core.limits.retryAfterSeconds);
    }
    ++core.places;
  }
  int64_t length = 0;
  try {
    length = lengthNow();
  } catch (...) {
    const std::lock_guard<std::mutex> lock(core.mutex);
    --core.places;
    throw;
  }

  auto queue = std::make_shared<StreamQueue>(core.limits.queueBytes);
  int64_t seen = length;
  if (lastEventId) {
    const std::optional<int64_t> claimed = stream_text::seenLength(*lastEventId);
    if (claimed && *claimed <= length && length - *claimed <= core.limits.replayLimit) {
      seen = *claimed;
    } else {
      queue->push(stream_text::reset(length));
    }
  }

  const std::lock_guard<std::mutex> lock(core.mutex);
  const uint64_t id = core.nextId++;
  core.lists[key].emplace(id, Client{queue, seen});
  if (!core.running) {
    if (core.poller.joinable()) core.poller.join();  // a loop that has ended
    core.running = true;
    core.poller = std::thread([&core] { core.pollLoop(); });
  }
  core.pollNow = true;
  core.changed.notify_all();
  return std::make_shared<LiveStream>(core_, key, id, std::move(queue));
}

void StreamHub::endAll() {
  std::vector<QueuePtr> ended;
  {
    const std::lock_guard<std::mutex> lock(core_->mutex);
    for (auto& [key, clients] : core_->lists) {
      for (auto& [id, client] : clients) {
        client.queue->close();
        ended.push_back(client.queue);
        --core_->places;
      }
    }
    core_->lists.clear();
    core_->changed.notify_all();
  }
  for (const QueuePtr& queue : ended) queue->notify();
}

size_t StreamHub::streams() const {
  const std::lock_guard<std::mutex> lock(core_->mutex);
  return core_->places;
}

}  // namespace events
