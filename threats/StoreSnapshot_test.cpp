// The snapshot of the indicator store: what its own reader keeps is what the
// JSON library reads from the same text, and the stores that reader leaves
// to the library.
#include "threats/StoreSnapshot.h"

#include <gtest/gtest.h>

#include <string>

#include "threats/ThreatsSupport.h"

namespace {

// One stored object with `id` and `extra` members after the usual ones.
std::string object(const std::string& id, const std::string& extra = "") {
  return "{\"anonymous\":\"0\",\"confidence_level\":\"75\",\"id\":\"" + id +
         "\",\"ioc_type\":\"domain\",\"ioc_value\":\"a.example\",\"status\":true" + extra + "}";
}

TEST(StoreSnapshotTest, RecordsAreWhatTheJsonLibraryReads) {
  struct Case {
    std::string text;
    bool simple;  // read without the JSON library
  };
  const Case cases[] = {
      {"null", true},
      {" null \n", true},
      {"[]", true},
      {"[" + object("1") + "," + object("2") + "]", true},
      {"[{}]", true},                             // every member missing
      {"[{\"tags\":\"x\",\"id\":\"1\"}]", true},  // keys out of order
      {"[" + object("1", ",\"uid\":18446744073709551615,\"uniq_id\":\"5\",\"other\":-3") + "]",
       true},
      {"[" + object("a\\\"b\\\\c\\u0041\\n\\u00e9") + "]", true},  // escapes are decoded
      {"[" + object("\xc3\xa9t\xc3\xa9") + "]", true},             // UTF-8 as it is
      {"[" + object("1", ",\"malware\":\"\\ud83d\\ude00\"") + "]", true},
      {"[{\"status\":false,\"reporter\":\"\"}]", true},
      {"\t[\n" + object("1") + "\n]\n", true},
      // Read by the library alone: it may read these otherwise, or fail.
      {"[" + object("1", ",\"id\":\"2\"") + "]", false},      // repeated key
      {"[" + object("1", ",\"status\":false") + "]", false},  // repeated status
      {"[" + object("1", ",\"tags\":7") + "]", false},        // number in a text member
      {"[" + object("1", ",\"tags\":null") + "]", false},
      {"[" + object("1", ",\"other\":1.5") + "]", false},
      {"[" + object("1", ",\"other\":null") + "]", false},
      {"[" + object("1", ",\"other\":[1]") + "]", false},
      {"[" + object("1", ",\"t\\u0061gs\":\"x\"") + "]", false},  // escaped key
      {"[{\"status\":\"true\"}]", false},
      {"[" + object("1") + "] // written by hand", false},
      {"[" + object("1") + "] []", false},
      {"[" + object("1") + "]]", false},
      {"[" + object("1") + " " + object("2") + "]", false},  // missing comma
      {"[" + object("1") + ",]", false},
      {"[" + object("1"), false},
      {"[1]", false},
      {"{}", false},
      {"\"text\"", false},
      {"null x", false},
      {"", false},
      {"[{\"id\":\"\\x\"}]", false},    // no such escape
      {"[{\"id\":\"a\x01\"}]", false},  // control character unescaped
      {"[{\"id\":\"\xff\"}]", false},   // not UTF-8
      {"[{\"other\":01}]", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const threats::StoreSnapshot snapshot(file_cache::FileText::copyOf(c.text));
    EXPECT_EQ(snapshot.simple(), c.simple);
    if (!snapshot.simple()) continue;
    Json::Value document;
    std::string error;
    ASSERT_TRUE(threats_support::parseJson(c.text, document, error)) << error;
    ASSERT_EQ(snapshot.size(), document.size());
    for (Json::ArrayIndex i = 0; i < document.size(); ++i) {
      EXPECT_EQ(snapshot.record(i).toJson(), ThreatItem::parsejson(document[i]).toJson());
    }
  }
}

}  // namespace
