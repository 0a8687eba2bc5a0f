// Kept layouts: a page written from them is the page written afresh, and
// what they hold stays within their bound.
#include "events/KeptLayouts.h"

#include <gtest/gtest.h>
#include <json/reader.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "events/EventLists.h"
#include "events/EventSamples_test.h"
#include "events/MemoryListReader_test.h"

namespace {

using events::KeptLayouts;

// Stored texts in the shapes the sensor writes, and one that only the
// lenient reader takes (a byte that is no UTF-8 inside a string).
std::vector<std::string> storedTexts() {
  return {
      event_samples::alert("2026-07-15T12:00:01.000000+0000", 2019401,
                           "ET POLICY Observed \\\"curl\\\" (User-Agent: curl/8.1)",
                           "Misc activity"),
      event_samples::flow("7", "2026-07-15T12:00:02.000000+0000", "10.0.0.7", 50007, "192.0.2.1",
                          443, "TCP"),
      "{\"event_type\":\"dns\",\"dns\":{\"rrname\":\"caf\xff.example\",\"answers\":[]},\"z\":1.5}",
      "{\"b\":2,\"a\":1,\"a\":3}",
  };
}

TEST(KeptLayoutsTest, APageFromKeptLayoutsIsThePageWrittenAfresh) {
  events::MemoryListReader reader;
  for (const std::string& text : storedTexts()) reader.list("alert").push_back(text);
  const KeptLayouts::Counts before = events::pageLayouts().counts();
  const std::string fresh = events::getEventsTextByType(reader, "alert", "0", "-1");
  const std::string again = events::getEventsTextByType(reader, "alert", "1", "-1");
  const std::string third = events::getEventsTextByType(reader, "alert", "0", "-1");
  EXPECT_EQ(third, fresh);
  EXPECT_EQ(again, events::getEventsTextByType(reader, "alert", "1", "-1"));
  EXPECT_GE(events::pageLayouts().counts().hits, before.hits + 2 * storedTexts().size() - 1);

  // A changed text is not taken for the one kept before it.
  std::string edited = storedTexts()[0];
  edited.replace(edited.find("\"flow_id\":1,"), 12, "\"flow_id\":4,");
  events::MemoryListReader changed;
  changed.list("alert") = {edited, storedTexts()[0]};
  Json::Value page;
  std::istringstream in(events::getEventsTextByType(changed, "alert", "0", "-1"));
  ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &page, nullptr));
  EXPECT_EQ(page[0]["flow_id"].asInt(), 4);
  EXPECT_EQ(page[1]["flow_id"].asInt(), 1);
}

TEST(KeptLayoutsTest, HoldsNoMoreThanItsBoundAndKeepsWhatIsAskedForAgain) {
  KeptLayouts kept(64 * 1024);
  const std::string layout(400, 'x');
  const auto text = [](int i) {
    return "{\"n\":" + std::to_string(i) + "}" + std::string(100, ' ');
  };
  json_layout::ArrayText array;
  for (int i = 0; i < 1000; ++i) {
    kept.keep(text(i), layout);
    // The first text is asked for all along: it never leaves.
    EXPECT_TRUE(kept.addKept(text(0), array)) << i;
    EXPECT_LE(kept.counts().bytes, 64u * 1024);
  }
  EXPECT_FALSE(kept.addKept(text(1), array));  // long gone
  EXPECT_TRUE(kept.addKept(text(999), array));

  // Texts past the limit are never kept.
  const std::string huge = "\"" + std::string(KeptLayouts::kMaxTextBytes, 'y') + "\"";
  kept.keep(huge, "x");
  EXPECT_FALSE(kept.addKept(huge, array));
}

// What was kept in one context (the map's database and site) is used in it
// alone, with its lines; keeping in another drops it and lets go of the
// context's object.
TEST(KeptLayoutsTest, KeptLayoutsBelongToOneContext) {
  KeptLayouts kept(1 << 20);
  auto first = std::make_shared<int>(1);
  const KeptLayouts::Context a{first, "site a"};
  const KeptLayouts::Context b{std::make_shared<int>(2), "site a"};
  const KeptLayouts::Context c{first, "site c"};
  kept.keep("{\"x\":1}", "layout a", {"line 1", "line 2"}, a);
  json_layout::ArrayText array;
  std::vector<std::string> lines{"before"};
  EXPECT_TRUE(kept.addKept("{\"x\":1}", array, &lines, a));
  EXPECT_EQ(lines, (std::vector<std::string>{"before", "line 1", "line 2"}));
  EXPECT_EQ(std::move(array).finish(), "[\n\tlayout a\n]");
  for (const KeptLayouts::Context& other : {b, c, KeptLayouts::Context{}}) {
    json_layout::ArrayText none;
    EXPECT_FALSE(kept.addKept("{\"x\":1}", none, &lines, other));
  }
  kept.keep("{\"x\":2}", "layout b", {}, b);
  json_layout::ArrayText again;
  EXPECT_FALSE(kept.addKept("{\"x\":1}", again, &lines, a));
  EXPECT_EQ(first.use_count(), 3);  // `first`, `a` and `c`: the kept layouts let go of it
  EXPECT_TRUE(kept.addKept("{\"x\":2}", again, nullptr, b));
}

}  // namespace
