// Pages, counts, single events and the flow search, on lists held in memory.
#include "events/EventLists.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/Unavailable.h"
#include "events/EventSamples_test.h"
#include "events/MemoryListReader_test.h"

namespace {

using event_samples::flow;
using events::MemoryListReader;

// A list of five flows, newest first as the daemon pushes them: flow ids 5..1.
MemoryListReader fiveFlows() {
  MemoryListReader reader;
  auto& list = reader.list("flow");
  for (int id = 5; id >= 1; --id) {
    const std::string n = std::to_string(id);
    list.push_back(flow(n, "2026-07-15T12:00:0" + n + ".000000+0000", "10.0.0." + n, 50000 + id,
                        "192.0.2.1", 443, "TCP"));
  }
  return reader;
}

std::vector<long long> flowIds(const Json::Value& events) {
  std::vector<long long> ids;
  for (const Json::Value& event : events) ids.push_back(event["flow_id"].asInt64());
  return ids;
}

TEST(EventPagesTest, APageHoldsTheElementsFromOffsetToTheInclusiveLimit) {
  const struct {
    const char* offset;
    const char* limit;
    std::vector<long long> expected;
  } cases[] = {
      {"0", "100", {5, 4, 3, 2, 1}},
      {"0", "0", {5}},
      {"1", "2", {4, 3}},
      {"4", "4", {1}},
      {"5", "100", {}},
      {"3", "1", {}},
      {"-2", "-1", {2, 1}},
      {"0", "-1", {5, 4, 3, 2, 1}},
  };
  const MemoryListReader reader = fiveFlows();
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.offset) + ".." + c.limit);
    EXPECT_EQ(flowIds(events::getEventsByType(reader, "flow", c.offset, c.limit)), c.expected);
    // The reply text is the same page, with the length of the whole list.
    int64_t total = -1;
    const std::string text = events::getEventsTextByType(reader, "flow", c.offset, c.limit, &total);
    EXPECT_EQ(total, 5);
    Json::Value parsed;
    std::istringstream in(text);
    ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &parsed, nullptr));
    EXPECT_EQ(flowIds(parsed), c.expected);
  }
}

TEST(EventPagesTest, AMissingListIsAnEmptyPageOfNone) {
  MemoryListReader reader;
  int64_t total = -1;
  EXPECT_EQ(events::getEventsTextByType(reader, "dns", "0", "100", &total), "[]");
  EXPECT_EQ(total, 0);
  EXPECT_EQ(events::getEventsCountByType(reader, "dns"), 0);
}

// Each failure of the read gives the page routes their one text, and an
// element that is no JSON fails the page rather than leave a hole in it.
TEST(EventPagesTest, FailedReadsAndBadElementsFailThePage) {
  const auto withBadElement = [] {
    MemoryListReader reader = fiveFlows();
    reader.list("flow")[2] = "{\"timestamp\":\"2026-07-15T12:00:03\",\"flow_id\":3,";
    return reader;
  };
  const auto lost = [] {
    MemoryListReader reader = fiveFlows();
    reader.loseReply(1);
    return reader;
  };
  const auto otherType = [] {
    MemoryListReader reader;
    reader.setText("flow");
    return reader;
  };
  const struct {
    const char* name;
    MemoryListReader reader;
    const char* limit;
    std::string expected;
    bool prefix;  // the text goes on with the JSON reader's message
  } cases[] = {
      {"no reply", lost(), "100", "Events: Redis command error", false},
      {"key of another type", otherType(), "100", "Events: Invalid Redis response", false},
      {"limit that is no integer", fiveFlows(), "10x", "Events: Invalid Redis response", false},
      {"element that is no JSON", withBadElement(), "100", "Events: JSON parsing error: ", true},
  };
  for (const auto& c : cases) {
    for (const bool text : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (text ? ", as text" : ", as values"));
      const MemoryListReader reader = c.reader;
      try {
        if (text) {
          events::getEventsTextByType(reader, "flow", "0", c.limit);
        } else {
          events::getEventsByType(reader, "flow", "0", c.limit);
        }
        ADD_FAILURE() << "no exception";
      } catch (const EventsException& e) {
        const std::string what = e.what();
        EXPECT_EQ(c.prefix ? what.substr(0, c.expected.size()) : what, c.expected);
        if (c.prefix) {
          EXPECT_GT(what.size(), c.expected.size());
        }
      }
    }
  }
  // A page that stops before the bad element is served.
  EXPECT_EQ(flowIds(events::getEventsByType(withBadElement(), "flow", "0", "1")),
            (std::vector<long long>{5, 4}));
}

TEST(EventPagesTest, TheLockWaitComesBeforeTheReadAndItsLimitPassesThrough) {
  MemoryListReader reader = fiveFlows();
  reader.holdLock(1);
  // The daemon trims the list while it holds the lock: the page shows the list after.
  reader.beforeRead(1, [](MemoryListReader& r) { r.list("flow").resize(2); });
  int64_t total = 0;
  events::getEventsTextByType(reader, "flow", "0", "100", &total);
  EXPECT_EQ(reader.lockWaits(), 1);
  EXPECT_EQ(total, 2);

  MemoryListReader held = fiveFlows();
  held.holdLockForever();
  EXPECT_THROW(events::getEventsByType(held, "flow", "0", "100"), Unavailable);
  EXPECT_THROW(events::getEventsCountByType(held, "flow"), Unavailable);
}

TEST(EventCountTest, CountsTheListOrFailsWithTheCountTexts) {
  EXPECT_EQ(events::getEventsCountByType(fiveFlows(), "flow"), 5);
  MemoryListReader reader;
  reader.setText("flow");
  reader.list("dns");
  reader.loseReply(2);
  const struct {
    const char* key;
    const char* expected;
  } failures[] = {{"flow", "Events: Invalid Redis response"},
                  {"dns", "Events: Redis command error"}};
  for (const auto& f : failures) {
    try {
      events::getEventsCountByType(reader, f.key);
      ADD_FAILURE() << f.key;
    } catch (const EventsException& e) {
      EXPECT_STREQ(e.what(), f.expected) << f.key;
    }
  }
}

TEST(EventByIdTest, TakesTheIndexFromTheHeadOrTheTail) {
  const MemoryListReader reader = fiveFlows();
  const struct {
    const char* id;
    long long flowId;
  } cases[] = {{"0", 5}, {"4", 1}, {"-1", 1}, {"-5", 5}, {"+2", 3}, {" 1", 4}, {"2abc", 3}};
  for (const auto& c : cases) {
    EXPECT_EQ(events::getEventById(reader, "flow", c.id)["flow_id"].asInt64(), c.flowId) << c.id;
  }
  for (const char* id : {"5", "-6"}) {
    try {
      events::getEventById(reader, "flow", id);
      ADD_FAILURE() << id;
    } catch (const EventsException& e) {
      EXPECT_STREQ(e.what(), "Events: Event not found") << id;
    }
  }
  EXPECT_THROW(events::getEventById(reader, "flow", "x"), std::invalid_argument);
  EXPECT_THROW(events::getEventById(reader, "flow", "9223372036854775808"), std::out_of_range);
}

// The search reads each list a slice at a time (two elements here) and
// answers the first event of the flow in key order, then list order: the
// newest of a flow's events in its list.
TEST(FlowSearchTest, FindsTheFirstEventOfTheFlowAcrossListsAndSlices) {
  MemoryListReader reader;
  reader.list("alert") = {flow("77", "2026-07-15T12:00:09", "10.0.0.9", 1, "192.0.2.1", 80, "TCP")};
  reader.list("flow") = {
      flow("11", "2026-07-15T12:00:05", "10.0.0.1", 1, "192.0.2.1", 80, "TCP"),
      "not json at all",
      flow("4242", "2026-07-15T12:00:04", "10.0.0.2", 2, "192.0.2.1", 80, "UDP"),
      flow("4242", "2026-07-15T12:00:03", "10.0.0.3", 3, "192.0.2.1", 80, "UDP"),
      // A flow id written as a string with an escaped digit reads as "4243".
      "{\"flow_id\":\"\\u00342\\u00343\",\"src_ip\":\"10.0.0.4\"}",
  };
  reader.setText("lock:ferryd");
  const struct {
    const char* flowId;
    const char* srcIp;  // null: no event of that flow
  } cases[] = {
      {"4242", "10.0.0.2"}, {"11", "10.0.0.1"}, {"77", "10.0.0.9"}, {"4243", "10.0.0.4"},
      {"424", nullptr},     {"42420", nullptr}, {"", nullptr},      {"011", nullptr},
  };
  for (const auto& c : cases) {
    const Json::Value found = events::searchEventByFlowId(reader, c.flowId);
    if (c.srcIp == nullptr) {
      EXPECT_TRUE(found.isNull()) << c.flowId;
    } else {
      EXPECT_EQ(found["src_ip"].asString(), c.srcIp) << c.flowId;
    }
  }
}

TEST(FlowSearchTest, ARefusedKeyListingIsAFailureNotANoMatch) {
  MemoryListReader reader;
  reader.list("flow") = {flow("1", "2026-07-15T12:00:05", "10.0.0.1", 1, "192.0.2.1", 80, "TCP")};
  reader.loseReply(1);
  try {
    events::searchEventByFlowId(reader, "1");
    ADD_FAILURE() << "no exception";
  } catch (const EventsException& e) {
    EXPECT_STREQ(e.what(), "Events: Redis command error while retrieving keys");
  }
}

}  // namespace
