// The kept statistics entries: every answer is what a fresh read gives, an
// entry read by the request before is not read again, and only the entries of
// the last request are kept.
#include "stats/EntryMemo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string entry(int packets) {
  return R"({"timestamp":"2026-01-01T00:00:)" + std::to_string(10 + packets % 50) +
         R"(","stats":{"decoder":{"pkts":)" + std::to_string(packets) + "}}}";
}

void expectSameAsFresh(const StatsItem& kept, const std::string& text) {
  const StatsItem fresh = StatsItem::parse(text);
  EXPECT_EQ(kept.timestamp, fresh.timestamp) << text;
  EXPECT_EQ(kept.decoder_pkts, fresh.decoder_pkts) << text;
  EXPECT_EQ(kept.detect_alert, fresh.detect_alert) << text;
}

TEST(EntryMemoTest, AnswersAsAFreshReadAndReusesTheRequestBefore) {
  stats::EntryMemo memo;
  const StatsItem* first = &memo.parse(entry(1));
  expectSameAsFresh(*first, entry(1));
  expectSameAsFresh(memo.parse(entry(2)), entry(2));
  EXPECT_EQ(&memo.parse(entry(1)), first);  // twice in one list
  memo.finishRequest();

  // The next request: entry 1 again (the same record, not read again), a new
  // entry, and entry 2 no more.
  EXPECT_EQ(&memo.parse(entry(1)), first);
  expectSameAsFresh(memo.parse(entry(3)), entry(3));
  memo.finishRequest();
  memo.finishRequest();  // a request that read nothing lets everything go
  const StatsItem& again = memo.parse(entry(1));
  expectSameAsFresh(again, entry(1));

  // A bad entry throws every time and is never kept.
  for (int i = 0; i < 2; ++i) {
    EXPECT_THROW(memo.parse(R"({"stats":{"decoder":{"pkts":"12"}}})"), StatsException);
    memo.finishRequest();
  }
}

TEST(EntryMemoTest, ListsLongerThanTheBoundStillAnswerEveryEntry) {
  stats::EntryMemo memo;
  const int count = static_cast<int>(stats::EntryMemo::kMaxEntries) + 10;
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < count; ++i) {
      const std::string text = entry(i);
      const StatsItem& item = memo.parse(text);
      ASSERT_EQ(item.decoder_pkts, i) << text;
    }
    memo.finishRequest();
  }
}

}  // namespace
