// The in-memory list reader of the unit tests, and the tests that it answers
// as Redis does (its index rules, its error replies).
#include "events/MemoryListReader_test.h"

#include <gtest/gtest.h>
#include <hiredis/hiredis.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>

#include "common/BuildSettings.h"
#include "common/ListSlices.h"
#include "common/RedisWrapper.h"
#include "common/Unavailable.h"

namespace events {

namespace {

constexpr char kWrongType[] =
    "-WRONGTYPE Operation against a key holding the wrong kind of value\r\n";
constexpr char kNotInteger[] = "-ERR value is not an integer or out of range\r\n";

std::string bulk(const std::string& text) {
  return "$" + std::to_string(text.size()) + "\r\n" + text + "\r\n";
}

// The reply hiredis reads from the protocol text `resp`.
RedisReplyPtr replyOf(const std::string& resp) {
  redisReader* reader = redisReaderCreate();
  redisReaderFeed(reader, resp.data(), resp.size());
  void* reply = nullptr;
  const int status = redisReaderGetReply(reader, &reply);
  redisReaderFree(reader);
  if (status != REDIS_OK || reply == nullptr) std::abort();  // a fault of this file
  return RedisReplyPtr(static_cast<redisReply*>(reply));
}

// An index as Redis reads one: an optional '-', then digits without a
// leading zero (or "0" alone), within 64 bits.
bool readIndex(const std::string& text, long long* index) {
  const size_t digits = text[0] == '-' ? 1 : 0;
  if (text.size() == digits || text[digits] < '0' || text[digits] > '9') return false;
  if (text[digits] == '0' && text.size() != 1) return false;
  errno = 0;
  char* end = nullptr;
  *index = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0';
}

}  // namespace

bool MemoryListReader::startRead() const {
  const int read = ++reads_;
  auto [from, to] = changes_.equal_range(read);
  // The daemon's change rewrites the store that the reads only look at.
  for (auto it = from; it != to; ++it) it->second(const_cast<MemoryListReader&>(*this));
  if (heldForever_) {
    throw Unavailable("The companion daemon holds lock:ferryd; gave up waiting after " +
                          std::to_string(build_settings::kLockWaitSeconds) + " s",
                      build_settings::kLockWaitSeconds);
  }
  if (heldReads_ > 0) {
    --heldReads_;
    ++lockWaits_;
  }
  return read != lostRead_;
}

std::string MemoryListReader::rangeText(const std::string& key, long long start,
                                        long long stop) const {
  ranges_.emplace_back(start, stop);
  if (texts_.count(key) != 0) return kWrongType;
  const auto found = lists_.find(key);
  const long long size = found == lists_.end() ? 0 : static_cast<long long>(found->second.size());
  if (start < 0) start = std::max(start + size, 0LL);
  if (stop < 0) stop += size;
  stop = std::min(stop, size - 1);
  std::string resp;
  for (long long i = start; i <= stop; ++i) resp += bulk(found->second[static_cast<size_t>(i)]);
  return "*" + std::to_string(start <= stop ? stop - start + 1 : 0) + "\r\n" + resp;
}

std::string MemoryListReader::lengthText(const std::string& key) const {
  if (texts_.count(key) != 0) return kWrongType;
  const auto found = lists_.find(key);
  return ":" + std::to_string(found == lists_.end() ? 0 : found->second.size()) + "\r\n";
}

ListReply MemoryListReader::page(const std::string& key, const std::string& start,
                                 const std::string& stop, int64_t* length) const {
  if (!startRead()) {
    if (length != nullptr) *length = 0;
    return ListReply::own(nullptr);
  }
  long long first = 0;
  long long last = 0;
  const bool bounds = readIndex(start, &first) && readIndex(stop, &last);
  ListReply reply = ListReply::own(
      replyOf(bounds ? rangeText(key, first, last) : std::string(kNotInteger)).release());
  if (length != nullptr) {
    const RedisReplyPtr count = replyOf(lengthText(key));
    *length = count->type == REDIS_REPLY_INTEGER ? count->integer : 0;
  }
  return reply;
}

void MemoryListReader::walk(const std::string& key, long long first, long long last,
                            const Visit& visit, const Restart& restart) const {
  const list_slices::Fetch fetch = [&](long long start, long long stop) {
    if (!startRead()) return RedisReplyPtr();
    return replyOf(rangeText(key, start, stop));
  };
  const list_slices::Length length = [&]() -> long long {
    const RedisReplyPtr count = replyOf(lengthText(key));
    return count->type == REDIS_REPLY_INTEGER ? count->integer : -1;
  };
  list_slices::walk(
      fetch, first, last, [&](const redisReply* slice) { return visit(ListReply::view(slice)); },
      sliceLength_, restart ? length : list_slices::Length(), restart);
}

ListReply MemoryListReader::length(const std::string& key) const {
  if (!startRead()) return ListReply::own(nullptr);
  return ListReply::own(replyOf(lengthText(key)).release());
}

ListReply MemoryListReader::element(const std::string& key, long long index) const {
  if (!startRead()) return ListReply::own(nullptr);
  if (texts_.count(key) != 0) return ListReply::own(replyOf(kWrongType).release());
  const auto found = lists_.find(key);
  const long long size = found == lists_.end() ? 0 : static_cast<long long>(found->second.size());
  if (index < 0) index += size;
  if (index < 0 || index >= size) return ListReply::own(replyOf("$-1\r\n").release());
  return ListReply::own(replyOf(bulk(found->second[static_cast<size_t>(index)])).release());
}

ListReply MemoryListReader::keys() const {
  if (!startRead()) return ListReply::own(nullptr);
  std::string resp;
  for (const auto& entry : lists_) resp += bulk(entry.first);
  for (const auto& entry : texts_) resp += bulk(entry.first);
  return ListReply::own(
      replyOf("*" + std::to_string(lists_.size() + texts_.size()) + "\r\n" + resp).release());
}

bool MemoryListReader::holdsList(const std::string& key) const {
  return startRead() && lists_.count(key) != 0;
}

namespace {

// The elements of a page as texts.
std::vector<std::string> textsOf(const ListReply& reply) {
  std::vector<std::string> texts;
  for (size_t i = 0; i < reply.size(); ++i) texts.emplace_back(reply[i].text, reply[i].length);
  return texts;
}

TEST(MemoryListReaderTest, PagesFollowRedisIndexRules) {
  MemoryListReader reader;
  reader.list("l") = {"a", "b", "c", "d", "e"};
  const struct {
    const char* start;
    const char* stop;
    std::vector<std::string> expected;
  } cases[] = {
      {"0", "-1", {"a", "b", "c", "d", "e"}},
      {"0", "0", {"a"}},
      {"1", "3", {"b", "c", "d"}},
      {"3", "100", {"d", "e"}},
      {"-2", "-1", {"d", "e"}},
      {"-100", "1", {"a", "b"}},
      {"3", "2", {}},
      {"5", "9", {}},
      {"0", "-6", {}},
      {"-1", "-2", {}},
  };
  for (const auto& c : cases) {
    const ListReply reply = reader.page("l", c.start, c.stop);
    ASSERT_EQ(reply.kind(), ListReply::Kind::kList) << c.start << ".." << c.stop;
    EXPECT_EQ(textsOf(reply), c.expected) << c.start << ".." << c.stop;
  }
}

TEST(MemoryListReaderTest, BoundsThatAreNoIntegerAndKeysOfAnotherTypeGetErrorReplies) {
  MemoryListReader reader;
  reader.list("l") = {"a"};
  reader.setText("s");
  for (const char* bound :
       {"", "-", "+1", " 1", "1 ", "01", "1x", "0x10", "99999999999999999999"}) {
    const ListReply reply = reader.page("l", bound, "-1");
    EXPECT_EQ(reply.kind(), ListReply::Kind::kOther) << '"' << bound << '"';
    EXPECT_EQ(reply.typeNumber(), REDIS_REPLY_ERROR) << '"' << bound << '"';
  }
  EXPECT_EQ(reader.page("s", "0", "-1").kind(), ListReply::Kind::kOther);
  EXPECT_EQ(reader.length("s").kind(), ListReply::Kind::kOther);
  EXPECT_EQ(reader.element("s", 0).kind(), ListReply::Kind::kOther);
  EXPECT_EQ(reader.page("missing", "0", "-1").size(), 0u);
  EXPECT_EQ(reader.length("missing").number(), 0);
}

TEST(MemoryListReaderTest, ElementsCountFromTheHeadOrTheTail) {
  MemoryListReader reader;
  reader.list("l") = {"a", "b", "c"};
  const struct {
    long long index;
    const char* expected;  // null: nil
  } cases[] = {{0, "a"}, {2, "c"}, {-1, "c"}, {-3, "a"}, {3, nullptr}, {-4, nullptr}};
  for (const auto& c : cases) {
    const ListReply reply = reader.element("l", c.index);
    if (c.expected == nullptr) {
      EXPECT_EQ(reply.kind(), ListReply::Kind::kNil) << c.index;
    } else {
      ASSERT_EQ(reply.kind(), ListReply::Kind::kText) << c.index;
      EXPECT_EQ(std::string(reply.text().text, reply.text().length), c.expected) << c.index;
    }
  }
}

}  // namespace

}  // namespace events
