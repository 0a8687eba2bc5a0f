// Slice-by-slice walks: which LRANGE ranges a walk asks for, and where it stops.
#include "common/ListSlices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

using Ranges = std::vector<std::pair<long long, long long>>;

// An array reply of `count` elements, as an LRANGE of a list gives (the
// elements themselves are not looked at here).
RedisReplyPtr arrayOf(size_t count) {
  auto* reply = static_cast<redisReply*>(std::calloc(1, sizeof(redisReply)));
  reply->type = REDIS_REPLY_ARRAY;
  reply->elements = count;
  reply->element = static_cast<redisReply**>(std::calloc(count + 1, sizeof(redisReply*)));
  return RedisReplyPtr(reply);
}

// The ranges a walk of [first, last] in slices of 3 asks of a list of
// `length` elements; visits stop after `visits` slices.
Ranges rangesOfWalk(long long length, long long first, long long last, int visits = 100) {
  Ranges asked;
  const list_slices::Fetch fetch = [&](long long start, long long stop) {
    asked.emplace_back(start, stop);
    const long long end = std::min(stop, length - 1);
    return arrayOf(end >= start ? static_cast<size_t>(end - start + 1) : 0);
  };
  int seen = 0;
  list_slices::walk(
      fetch, first, last, [&](const redisReply*) { return ++seen < visits; }, 3);
  return asked;
}

TEST(ListSlicesTest, AsksForEachSliceUntilTheListEnds) {
  const struct {
    long long length, first, last;
    Ranges expected;
  } cases[] = {
      {0, 0, -1, {{0, 2}}},
      {2, 0, -1, {{0, 2}}},
      {3, 0, -1, {{0, 2}, {3, 5}}},  // a full slice may not be the last
      {7, 0, -1, {{0, 2}, {3, 5}, {6, 8}}},
      {7, 0, 3, {{0, 2}, {3, 3}}},  // a bound inside the list
      {7, 0, 2, {{0, 2}}},
      {7, 0, 0, {{0, 0}}},
      {2, 0, 5, {{0, 2}}},  // a bound past the end
      {7, 4, -1, {{4, 6}, {7, 9}}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(rangesOfWalk(c.length, c.first, c.last), c.expected)
        << "length " << c.length << ", range " << c.first << ".." << c.last;
  }
}

TEST(ListSlicesTest, StopsWhenTheVisitSaysSo) {
  EXPECT_EQ(rangesOfWalk(100, 0, -1, 2), (Ranges{{0, 2}, {3, 5}}));
}

TEST(ListSlicesTest, StopsAfterAMissingOrNonArrayReply) {
  for (const int type : {-1, REDIS_REPLY_ERROR, REDIS_REPLY_NIL}) {
    int fetched = 0;
    int visited = 0;
    const list_slices::Fetch fetch = [&](long long, long long) {
      ++fetched;
      if (type < 0) return RedisReplyPtr();
      auto* reply = static_cast<redisReply*>(std::calloc(1, sizeof(redisReply)));
      reply->type = type;
      return RedisReplyPtr(reply);
    };
    list_slices::walk(
        fetch, 0, -1, [&](const redisReply*) { return ++visited > 0; }, 3);
    EXPECT_EQ(fetched, 1) << "reply type " << type;
    EXPECT_EQ(visited, 1) << "reply type " << type;
  }
}

}  // namespace

// A list that changes length while it is walked: the walk of an aggregate
// counted the element that moved across a slice boundary twice.
TEST(ListSlicesTest, ChangeOfLengthBetweenSlicesStartsTheWalkAgainOnce) {
  const struct {
    const char* what;
    std::vector<long long> lengths;  // LLEN after each full slice, in order
    Ranges expected;
    int restarts;
  } cases[] = {
      {"unchanged", {7, 7}, {{0, 2}, {3, 5}, {6, 8}}, 0},
      {"grew after the second slice", {7, 8, 8, 8}, {{0, 2}, {3, 5}, {0, 2}, {3, 5}, {6, 8}}, 1},
      {"changed twice", {7, 6, 9, 12}, {{0, 2}, {3, 5}, {0, 2}, {3, 5}, {6, 8}}, 1},
      {"length unknown", {7, -1, 7}, {{0, 2}, {3, 5}, {6, 8}}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Ranges asked;
    const list_slices::Fetch fetch = [&](long long start, long long stop) {
      asked.emplace_back(start, stop);
      const long long end = std::min(stop, 6LL);  // the elements stay 7 for the fetches
      return arrayOf(end >= start ? static_cast<size_t>(end - start + 1) : 0);
    };
    size_t asks = 0;
    const list_slices::Length length = [&] {
      return asks < c.lengths.size() ? c.lengths[asks++] : c.lengths.back();
    };
    int restarts = 0;
    list_slices::walk(
        fetch, 0, -1, [](const redisReply*) { return true; }, 3, length, [&] { ++restarts; });
    EXPECT_EQ(asked, c.expected);
    EXPECT_EQ(restarts, c.restarts);
  }
}

TEST(ListSlicesTest, WithoutARestartTheLengthIsNeverAsked) {
  int asks = 0;
  const list_slices::Fetch fetch = [](long long, long long) { return arrayOf(3); };
  int visits = 0;
  list_slices::walk(
      fetch, 0, -1, [&](const redisReply*) { return ++visits < 4; }, 3,
      [&] { return static_cast<long long>(++asks); }, nullptr);
  EXPECT_EQ(asks, 0);
  EXPECT_EQ(visits, 4);
}
