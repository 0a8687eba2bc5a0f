// Per-signature statistics of alerts and the hourly counts, on lists held in memory.
#include "events/AlertAggregates.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/Unavailable.h"
#include "events/EventSamples_test.h"
#include "events/MemoryListReader_test.h"

namespace {

using event_samples::zoneOffsets;
using events::MemoryListReader;

Alert alert(const std::string& signature, const std::string& category, int64_t id) {
  Alert a;
  a.signature = signature;
  a.category = category;
  a.signature_id = id;
  return a;
}

TEST(CalculateSignatureStatsTest, OneRowPerIdWithTheFirstTextsInOrderOfFirstSight) {
  const std::vector<Alert> alerts = {
      alert("Scan A", "Recon", 2001),          alert("", "", 0),
      alert("Scan A, renamed", "Other", 2001), alert("Big sid", "Policy", 4294967295),
      alert("Scan A", "Recon", 2001),
  };
  const std::vector<SignatureStats> rows = events::calculateSignatureStats(alerts);
  ASSERT_EQ(rows.size(), 3u);
  const struct {
    const char* signature;
    const char* category;
    int64_t id;
    int total;
  } expected[] = {
      {"Scan A", "Recon", 2001, 3}, {"", "", 0, 1}, {"Big sid", "Policy", 4294967295, 1}};
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(rows[i].signature, expected[i].signature);
    EXPECT_EQ(rows[i].category, expected[i].category);
    EXPECT_EQ(rows[i].signature_id, expected[i].id);
    EXPECT_EQ(rows[i].total, expected[i].total);
  }
  EXPECT_TRUE(events::calculateSignatureStats({}).empty());
}

struct Row {
  std::string signature;
  std::string category;
  long long id;
  int total;
  bool operator==(const Row& o) const {
    return signature == o.signature && category == o.category && id == o.id && total == o.total;
  }
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
  return out << row.id << " " << row.total << " " << row.signature << " / " << row.category;
}

std::vector<Row> rowsOf(const Json::Value& rows) {
  std::vector<Row> out;
  for (const Json::Value& row : rows) {
    out.push_back({row["signature"].asString(), row["category"].asString(),
                   row["signature_id"].asInt64(), row["total"].asInt()});
  }
  return out;
}

// Rule messages as the sensor writes them: parentheses, colons, escaped quotes.
const char kRoot[] = "GPL ATTACK_RESPONSE id check returned root (uid=0): \\\"root\\\"";
const char kScan[] = "ET SCAN Nmap Scripting Engine User-Agent Detected (Nmap NSE)";

std::string alertOf(long long sid) {
  const char* signature = sid == 2001 ? kRoot : kScan;
  return event_samples::alert("2026-07-15T12:00:00.000000+0000", sid,
                              signature + (sid > 2002 ? " " + std::to_string(sid) : ""),
                              "Attempted Information Leak");
}

// Five alerts of three signatures, newest first; slices of two elements.
MemoryListReader fiveAlerts() {
  MemoryListReader reader;
  for (const long long sid : {2001, 2002, 2001, 2003, 2002}) {
    reader.list("alert").push_back(alertOf(sid));
  }
  return reader;
}

const std::string kLeak = "Attempted Information Leak";
const std::string kRootText = "GPL ATTACK_RESPONSE id check returned root (uid=0): \"root\"";

TEST(AlertsSignaturesTest, CountsEachSignatureOverEverySliceOfTheList) {
  MemoryListReader reader = fiveAlerts();
  reader.list("alert").insert(reader.list("alert").begin() + 1, "{\"alert\":");
  const std::vector<Row> expected = {{kRootText, kLeak, 2001, 2},
                                     {kScan, kLeak, 2002, 2},
                                     {std::string(kScan) + " 2003", kLeak, 2003, 1}};
  EXPECT_EQ(rowsOf(events::getAlertsSignatures(reader, "1")), expected);
  const std::vector<std::pair<long long, long long>> slices = {{0, 1}, {2, 3}, {4, 5}, {6, 7}};
  EXPECT_EQ(reader.ranges(), slices);
}

// The daemon pushes a new alert (or drops one) while it holds the lock between
// two slices: every index moves by one, so one alert would be counted twice
// (or not at all). The walk starts again and counts the list as it is now.
TEST(AlertsSignaturesTest, AListThatChangesBetweenSlicesIsCountedAsItIsAfter) {
  const struct {
    const char* name;
    MemoryListReader::Change change;
    std::vector<Row> expected;
    int reads;
  } cases[] = {
      {"grows at its head",
       [](MemoryListReader& r) { r.list("alert").insert(r.list("alert").begin(), alertOf(2004)); },
       {{std::string(kScan) + " 2004", kLeak, 2004, 1},
        {kRootText, kLeak, 2001, 2},
        {kScan, kLeak, 2002, 2},
        {std::string(kScan) + " 2003", kLeak, 2003, 1}},
       6},
      {"shrinks at its head",
       [](MemoryListReader& r) { r.list("alert").erase(r.list("alert").begin()); },
       {{kScan, kLeak, 2002, 2},
        {kRootText, kLeak, 2001, 1},
        {std::string(kScan) + " 2003", kLeak, 2003, 1}},
       5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryListReader reader = fiveAlerts();
    reader.beforeRead(2, [&](MemoryListReader& r) {
      r.holdLock(1);
      c.change(r);
    });
    EXPECT_EQ(rowsOf(events::getAlertsSignatures(reader, "100")), c.expected);
    EXPECT_EQ(reader.lockWaits(), 1);
    EXPECT_EQ(reader.reads(), c.reads);
  }
}

TEST(AlertsSignaturesTest, AFailedSliceFailsTheWholeCount) {
  const struct {
    const char* name;
    void (*setUp)(MemoryListReader&);
    const char* expected;
  } cases[] = {
      {"no reply to the second slice", [](MemoryListReader& r) { r.loseReply(2); },
       "Events: Redis LRANGE command error"},
      {"a key of another type",
       [](MemoryListReader& r) {
         r = MemoryListReader();
         r.setText("alert");
       },
       "Events: Invalid Redis response"},
  };
  for (const auto& c : cases) {
    MemoryListReader reader = fiveAlerts();
    c.setUp(reader);
    try {
      events::getAlertsSignatures(reader, "100");
      ADD_FAILURE() << c.name;
    } catch (const EventsException& e) {
      EXPECT_STREQ(e.what(), c.expected) << c.name;
    }
  }
  // A lock the daemon never lets go of ends the count with the wait's own
  // failure, whichever slice it holds up.
  MemoryListReader held = fiveAlerts();
  held.beforeRead(3, [](MemoryListReader& r) { r.holdLockForever(); });
  EXPECT_THROW(events::getAlertsSignatures(held, "100"), Unavailable);
  EXPECT_THROW(events::fetchAlertsFromRedis(held), Unavailable);
}

TEST(FetchAlertsTest, ReadsEveryAlertInListOrderOnceAfterARestart) {
  MemoryListReader reader = fiveAlerts();
  reader.beforeRead(2, [](MemoryListReader& r) { r.list("alert").pop_back(); });
  std::vector<long long> ids;
  for (const Alert& alert : events::fetchAlertsFromRedis(reader)) ids.push_back(alert.signature_id);
  EXPECT_EQ(ids, (std::vector<long long>{2001, 2002, 2001, 2003}));
}

// The 24 hour keys that end at 2026-07-15T12, oldest first, written out.
std::vector<std::string> dayEndingAtNoon() {
  std::vector<std::string> keys;
  for (int h = 13; h <= 23; ++h) keys.push_back("2026-07-14T" + std::to_string(h));
  for (const char* h :
       {"00", "01", "02", "03", "04", "05", "06", "07", "08", "09", "10", "11", "12"}) {
    keys.push_back(std::string("2026-07-15T") + h);
  }
  return keys;
}

// Events count when now minus their time, in whole hours truncated toward
// zero, is 0 to 23: one a second short of 24 hours counts (under an hour
// key of its own), one of 24 hours does not; so does one less than an hour
// ahead of now, which truncates to 0.
TEST(HourlyCountTest, CountsTheLast24LocalHoursAcrossSlices) {
  const auto offsets = zoneOffsets();
  if (!offsets) GTEST_SKIP() << "no offsets known for this zone";
  const time_t now = 1784118600 - offsets->second;  // 2026-07-15T12:30:00 local
  MemoryListReader reader;
  for (const char* stamp :
       {"2026-07-15T12:10:00.000000+0200", "2026-07-15T12:40:00", "2026-07-15T11:59:59",
        "2026-07-14T12:30:01", "2026-07-14T12:30:00", "2026-07-15T13:30:00", "N/A"}) {
    reader.list("anomaly").push_back(event_samples::alert(stamp, 1, "x", "y"));
  }
  reader.list("anomaly").push_back("{\"timestamp\":");
  Json::Value expected(Json::objectValue);
  for (const std::string& key : dayEndingAtNoon()) expected[key] = 0;
  expected["2026-07-15T12"] = 2;
  expected["2026-07-15T11"] = 1;
  expected["2026-07-14T12"] = 1;
  EXPECT_EQ(events::getHourlyCountLast24h(reader, "anomaly", now), expected);
  EXPECT_EQ(reader.reads(), 5);  // four full slices of two, and the empty one after

  MemoryListReader empty;
  Json::Value zeros(Json::objectValue);
  for (const std::string& key : dayEndingAtNoon()) zeros[key] = 0;
  EXPECT_EQ(events::getHourlyCountLast24h(empty, "alert", now), zeros);
}

TEST(HourlyCountTest, RestartsOnAChangedListAndFailsWithTheHourTexts) {
  const auto offsets = zoneOffsets();
  if (!offsets) GTEST_SKIP() << "no offsets known for this zone";
  const time_t now = 1784118600 - offsets->second;
  MemoryListReader reader;
  for (int i = 0; i < 4; ++i) {
    reader.list("alert").push_back(event_samples::alert("2026-07-15T12:00:00", 1, "x", "y"));
  }
  reader.beforeRead(2, [](MemoryListReader& r) {
    r.holdLock(1);
    r.list("alert").insert(r.list("alert").begin(),
                           event_samples::alert("2026-07-15T10:00:00", 1, "x", "y"));
  });
  const Json::Value counts = events::getHourlyCountLast24h(reader, "alert", now);
  EXPECT_EQ(counts["2026-07-15T12"], 4);
  EXPECT_EQ(counts["2026-07-15T10"], 1);

  const struct {
    const char* name;
    void (*setUp)(MemoryListReader&);
    const char* expected;
  } failures[] = {
      {"no reply", [](MemoryListReader& r) { r.loseReply(1); },
       "Redis command error: reply is null"},
      {"a key of another type", [](MemoryListReader& r) { r.setText("alert"); },
       "Invalid Redis response, expected ARRAY"},
  };
  for (const auto& f : failures) {
    MemoryListReader failing;
    f.setUp(failing);
    try {
      events::getHourlyCountLast24h(failing, "alert", now);
      ADD_FAILURE() << f.name;
    } catch (const EventsException& e) {
      EXPECT_STREQ(e.what(), f.expected) << f.name;
    }
  }
}

}  // namespace
