// Threshold-file entries read and written after Suricata's threshold grammar.
#include "rules/ThresholdLine.h"

#include <gtest/gtest.h>

namespace {

using threshold::Entry;
using threshold::Kind;
using threshold::LineEntry;

Entry suppress(uint32_t gid, uint32_t sid, std::optional<std::string> track = std::nullopt,
               std::optional<std::string> ip = std::nullopt) {
  Entry e;
  e.kind = Kind::kSuppress;
  e.genId = gid;
  e.sigId = sid;
  e.track = std::move(track);
  e.ip = std::move(ip);
  return e;
}

Entry counting(Kind kind, uint32_t gid, uint32_t sid, const char* type, const char* track,
               uint32_t count, uint32_t seconds) {
  Entry e;
  e.kind = kind;
  e.genId = gid;
  e.sigId = sid;
  e.type = type;
  e.track = track;
  e.count = count;
  e.seconds = seconds;
  return e;
}

Entry rate(uint32_t gid, uint32_t sid, const char* track, uint32_t count, uint32_t seconds,
           const char* action, uint32_t timeout) {
  Entry e;
  e.kind = Kind::kRateFilter;
  e.genId = gid;
  e.sigId = sid;
  e.track = track;
  e.count = count;
  e.seconds = seconds;
  e.newAction = action;
  e.timeout = timeout;
  return e;
}

TEST(ThresholdLineTest, ReadsEntriesAsSuricataWritesThem) {
  struct Case {
    const char* line;
    Entry entry;
    bool enabled;
  };
  const Case cases[] = {
      {"suppress gen_id 1, sig_id 2002087", suppress(1, 2002087), true},
      {"suppress gen_id 1, sig_id 2002087, track by_src, ip 209.132.180.67",
       suppress(1, 2002087, "by_src", "209.132.180.67"), true},
      {"suppress gen_id 1, sig_id 2003614, track by_either, ip 217.110.97.128/25",
       suppress(1, 2003614, "by_either", "217.110.97.128/25"), true},
      {"suppress gen_id 1, sig_id 2003614, track by_src, ip [192.168.0.0/16,10.0.0.0/8]",
       suppress(1, 2003614, "by_src", "[192.168.0.0/16,10.0.0.0/8]"), true},
      {"suppress gen_id 1, sig_id 2003614, track by_dst, ip $HOME_NET",
       suppress(1, 2003614, "by_dst", "$HOME_NET"), true},
      {"suppress gen_id 1, sig_id 2000328, track by_src, ip fe80::/10",
       suppress(1, 2000328, "by_src", "fe80::/10"), true},
      {"suppress gen_id 0, sig_id 0, track by_src, ip 1.1.1.0/24 2.2.2.0/24",
       suppress(0, 0, "by_src", "1.1.1.0/24 2.2.2.0/24"), true},
      {"threshold gen_id 1, sig_id 2404000, type threshold, track by_dst, count 1, seconds 10",
       counting(Kind::kThreshold, 1, 2404000, "threshold", "by_dst", 1, 10), true},
      {"event_filter gen_id 1, sig_id 5, type both, track by_both, count 3, seconds 5",
       counting(Kind::kEventFilter, 1, 5, "both", "by_both", 3, 5), true},
      {"rate_filter gen_id 1, sig_id 888, track by_src, count 10, seconds 60, new_action drop, "
       "timeout 300",
       rate(1, 888, "by_src", 10, 60, "drop", 300), true},
      // Commented out: a "#", optional blanks, an entry.
      {"#threshold gen_id 0, sig_id 0, type threshold, track by_src, count 10, seconds 10",
       counting(Kind::kThreshold, 0, 0, "threshold", "by_src", 10, 10), false},
      {"  # suppress gen_id 1, sig_id 7", suppress(1, 7), false},
      // Blanks are optional between keywords and values, and may surround commas.
      {"suppress gen_id1,sig_id2", suppress(1, 2), true},
      {"\tsuppress gen_id 1 , sig_id 2 ,track by_src ,ip 10.0.0.1  ",
       suppress(1, 2, "by_src", "10.0.0.1"), true},
      {"suppress gen_id 1, sig_id 2\r", suppress(1, 2), true},
      {"suppress gen_id 4294967295, sig_id 4294967295", suppress(4294967295u, 4294967295u), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::optional<LineEntry> read = threshold::readLine(c.line);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->entry, c.entry);
    EXPECT_EQ(read->enabled, c.enabled);
  }
}

TEST(ThresholdLineTest, CommentsAndNearMissesHoldNoEntry) {
  const char* const lines[] = {
      "",
      "   ",
      "# Thresholding:",
      "# suppress gen_id <gid>, sig_id <sid>",
      "# threshold gen_id <gen_id>, sig_id <sig_id>, type <limit|threshold|both>, track <by_src>",
      "# Avoid to alert on f-secure virus definition updates",
      "##suppress gen_id 1, sig_id 2",
      "Suppress gen_id 1, sig_id 2",
      "suppress gen_id 1",
      "suppress gen_id 1, sig_id",
      "suppress gen_id -1, sig_id 2",
      "suppress gen_id 1, sig_id 4294967296",
      "suppress gen_id 1, sig_id 2,",
      "suppress gen_id 1, sig_id 2 x",
      "suppress gen_id 1, sig_id 2, track by_src",
      "suppress gen_id 1, sig_id 2, track by_src, ip",
      "suppress gen_id 1, sig_id 2, track by_rule, ip 10.0.0.1",
      "suppress gen_id 1, sig_id 2, track by_srcx, ip 10.0.0.1",
      "suppress gen_id 1, sig_id 2, track by_src, ip !10.0.0.1",
      "suppress gen_id 1, sig_id 2, track by_src, ip 10.0.0.1 # the mail relay",
      "suppress gen_id 1, sig_id 2, ip 10.0.0.1, track by_src",
      "threshold gen_id 1, sig_id 2",
      "threshold gen_id 1, sig_id 2, type limit, track by_either, count 1, seconds 60",
      "threshold gen_id 1, sig_id 2, type backoff, track by_src, count 1, seconds 60",
      "threshold gen_id 1, sig_id 2, track by_src, type limit, count 1, seconds 60",
      "threshold gen_id 1, sig_id 2, type limit, track by_src, count 1, seconds 60, ip 1.2.3.4",
      "threshold gen_id 1, sig_id 2, type limit, track by_src, count 1, seconds 60 \\",
      "rate_filter gen_id 1, sig_id 2, track by_src, count 1, seconds 6, new_action kill, "
      "timeout 3",
      "rate_filter gen_id 1, sig_id 2, track by_src, count 1, seconds 6, new_action drop",
      "alert tcp any any -> any any (msg:\"suppress gen_id 1, sig_id 2\"; sid:1; rev:1;)",
  };
  for (const char* line : lines) {
    EXPECT_EQ(threshold::readLine(line), std::nullopt) << line;
  }
}

// Entries without a problem, each with the line written by hand from the
// grammar: the writer gives that line, and the reader gives the entry back.
TEST(ThresholdLineTest, WritesLinesThatReadBackTheSame) {
  struct Case {
    Entry entry;
    const char* line;
  };
  const Case cases[] = {
      {suppress(1, 2013028), "suppress gen_id 1, sig_id 2013028"},
      {suppress(1, 2013028, "by_src", "10.0.0.5"),
       "suppress gen_id 1, sig_id 2013028, track by_src, ip 10.0.0.5"},
      {suppress(1, 9, "by_either", "[10.0.0.0/8,2001:db8::/32,192.0.2.1]"),
       "suppress gen_id 1, sig_id 9, track by_either, ip [10.0.0.0/8,2001:db8::/32,192.0.2.1]"},
      {suppress(0, 0, "by_dst", "::1"), "suppress gen_id 0, sig_id 0, track by_dst, ip ::1"},
      {counting(Kind::kThreshold, 1, 2002087, "limit", "by_src", 1, 15),
       "threshold gen_id 1, sig_id 2002087, type limit, track by_src, count 1, seconds 15"},
      {counting(Kind::kEventFilter, 3, 4, "both", "by_rule", 0, 0),
       "event_filter gen_id 3, sig_id 4, type both, track by_rule, count 0, seconds 0"},
      {rate(1, 1000, "by_rule", 100, 60, "alert", 30),
       "rate_filter gen_id 1, sig_id 1000, track by_rule, count 100, seconds 60, new_action "
       "alert, timeout 30"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(threshold::problemOf(c.entry), std::nullopt);
    EXPECT_EQ(threshold::writeLine(c.entry), c.line);
    const std::optional<LineEntry> read = threshold::readLine(c.line);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->entry, c.entry);
    EXPECT_TRUE(read->enabled);
  }
}

TEST(ThresholdLineTest, ProblemsNameWhatCannotBeWritten) {
  Entry withType = suppress(1, 2);
  withType.type = "limit";
  Entry noCount = counting(Kind::kThreshold, 1, 2, "limit", "by_src", 1, 60);
  noCount.count.reset();
  Entry ipOnThreshold = counting(Kind::kThreshold, 1, 2, "limit", "by_src", 1, 60);
  ipOnThreshold.ip = "10.0.0.1";
  Entry noTimeout = rate(1, 2, "by_src", 1, 6, "drop", 3);
  noTimeout.timeout.reset();
  struct Case {
    const char* name;
    Entry entry;
    const char* problem;
  };
  const Case cases[] = {
      {"track without ip", suppress(1, 2, "by_src"),
       "suppress takes track and ip together, or neither"},
      {"ip without track", suppress(1, 2, std::nullopt, "10.0.0.1"),
       "suppress takes track and ip together, or neither"},
      {"sid without gid", suppress(0, 2), "a sig_id above 0 needs a gen_id above 0"},
      {"suppress with a type", withType, "suppress has no option type"},
      {"threshold without count", noCount, "count is required for threshold"},
      {"threshold with an ip", ipOnThreshold, "threshold has no option ip"},
      {"rate_filter without timeout", noTimeout, "timeout is required for rate_filter"},
      {"suppress tracked by rule", suppress(1, 2, "by_rule", "10.0.0.1"),
       "track must be one of by_src, by_dst, by_either for suppress"},
      {"threshold tracked by either", counting(Kind::kThreshold, 1, 2, "limit", "by_either", 1, 60),
       "track must be one of by_src, by_dst, by_rule, by_both for threshold"},
      {"unknown type", counting(Kind::kEventFilter, 1, 2, "Limit", "by_src", 1, 60),
       "type must be one of limit, threshold, both for event_filter"},
      {"unknown new action", rate(1, 2, "by_src", 1, 6, "kill", 3),
       "new_action must be one of alert, drop, pass, log, sdrop, reject for rate_filter"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(threshold::problemOf(c.entry), std::optional<std::string>(c.problem)) << c.name;
  }
}

TEST(ThresholdLineTest, IpMustBeAnAddressBlockOrList) {
  const char* const good[] = {
      "10.0.0.5",
      "10.0.0.0/8",
      "0.0.0.0/0",
      "192.0.2.1/32",
      "2001:db8::1",
      "2001:db8::/128",
      "::ffff:192.0.2.1/96",
      "[10.0.0.1]",
      "[10.0.0.0/8,fe80::/10]",
  };
  for (const char* ip : good) {
    EXPECT_EQ(threshold::problemOf(suppress(1, 2, "by_src", ip)), std::nullopt) << ip;
  }
  const char* const bad[] = {
      "",
      "10.0.0",
      "10.0.0.256",
      "10.0.0.5/33",
      "10.0.0.5/",
      "10.0.0.5/+8",
      "10.0.0.5/08x",
      "2001:db8::/129",
      "fe80::1%eth0",
      "!10.0.0.5",
      "$HOME_NET",
      "any",
      "[]",
      "[10.0.0.1,]",
      "[10.0.0.1, 10.0.0.2]",
      "[10.0.0.1,[10.0.0.2]]",
      "10.0.0.1,10.0.0.2",
      "10.0.0.1 10.0.0.2",
      "10.0.0.5\n",
      "10.0.0.5\nsuppress gen_id 1, sig_id 3",
      " 10.0.0.5",
  };
  for (const char* ip : bad) {
    EXPECT_NE(threshold::problemOf(suppress(1, 2, "by_src", ip)), std::nullopt) << ip;
  }
}

TEST(ThresholdLineTest, SameEntryIgnoresBlanksInsideAnIpList) {
  const Entry written = suppress(1, 2, "by_src", "[10.0.0.1,10.0.0.2]");
  EXPECT_TRUE(threshold::sameEntry(written, suppress(1, 2, "by_src", "[10.0.0.1, 10.0.0.2]")));
  EXPECT_FALSE(threshold::sameEntry(written, suppress(1, 2, "by_dst", "[10.0.0.1,10.0.0.2]")));
  EXPECT_FALSE(threshold::sameEntry(written, suppress(1, 2, "by_src", "[10.0.0.1,10.0.0.3]")));
  EXPECT_FALSE(threshold::sameEntry(written, suppress(1, 2)));
  EXPECT_FALSE(threshold::sameEntry(suppress(1, 2), suppress(1, 3)));
}

}  // namespace
