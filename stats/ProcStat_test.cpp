// The memory figures of "/proc/self/stat", apart from the real file.
#include "stats/ProcStat.h"

#include <gtest/gtest.h>

namespace {

// A stat line whose vsize (field 23) is 1536 and rss (field 24) is 1000.
std::string statLine(const std::string& name) {
  return "4242 (" + name +
         ") S 1 4242 4242 0 -1 4194560 1 0 0 0 3 4 0 0 20 0 3 0 "
         "123456 1536 1000 18446744073709551615 1 1 0 0 0 0 0 0 0 0 0 0 17 1 0 0 0 0 0\n";
}

TEST(ProcStatTest, ReadsVsizeAndRssAfterTheCommandName) {
  const std::string names[] = {"pavora_server", "with blank", "odd) (name", ")"};
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const auto fields = proc_stat::parse(statLine(name));
    ASSERT_TRUE(fields.has_value());
    EXPECT_EQ(fields->vsize, 1536u);
    EXPECT_EQ(fields->rss, 1000);
  }
}

TEST(ProcStatTest, RejectsShortOrMalformedLines) {
  const std::string bad[] = {
      "",
      "4242 pavora_server S 1 2 3",                                                // no parentheses
      "4242 (x) S 1 4242 4242 0 -1 4194560 1 0 0 0 3 4 0 0 20 0 3 0 123456 1536",  // no rss
      "4242 (x) S 1 4242 4242 0 -1 4194560 1 0 0 0 3 4 0 0 20 0 3 0 123456 big 1000",
      "4242 (x) S 1 4242 4242 0 -1 4194560 1 0 0 0 3 4 0 0 20 0 3 0 123456 -1536 1000",
  };
  for (const std::string& line : bad) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(proc_stat::parse(line).has_value());
  }
}

TEST(ProcStatTest, KiBArithmetic) {
  struct Case {
    uint64_t vsize;
    int64_t rss;
    long pageSize;
    double virtualKiB;
    double residentKiB;
  };
  const Case cases[] = {
      {1536, 1000, 4096, 1.5, 4000.0},
      {0, 0, 4096, 0.0, 0.0},
      {1024, 3, 16384, 1.0, 48.0},
      {1, 7, 1536, 1.0 / 1024, 7.0},  // the page size is whole KiB before multiplying
      {1099511627776, 1, 65536, 1073741824.0, 64.0},
      // An rss this large overflowed the 64-bit product of the integers.
      {0, INT64_MAX, 4096, 0.0, 4.0 * 9223372036854775807.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.vsize) + " " + std::to_string(c.rss) + " " +
                 std::to_string(c.pageSize));
    const proc_stat::MemoryUsage usage = proc_stat::toKiB({c.vsize, c.rss}, c.pageSize);
    EXPECT_DOUBLE_EQ(usage.virtualKiB, c.virtualKiB);
    EXPECT_DOUBLE_EQ(usage.residentKiB, c.residentKiB);
  }
}

TEST(ProcStatTest, ReadsThisProcess) {
  const proc_stat::MemoryUsage usage = proc_stat::readSelf();
  EXPECT_GT(usage.virtualKiB, usage.residentKiB);
  EXPECT_GT(usage.residentKiB, 0.0);
}

}  // namespace
