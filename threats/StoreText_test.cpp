// The store's text written record by record: the JSON library's default
// stream writer output for the same array, byte for byte.
#include "threats/StoreText.h"

#include <gtest/gtest.h>

#include "common/JsonText.h"

namespace {

ThreatItem record(const std::string& id, const std::string& value, bool status) {
  ThreatItem item;
  item.id = id;
  item.ioc_type = "domain";
  item.ioc_value = value;
  item.status = status;
  item.identify();
  return item;
}

TEST(StoreTextTest, NoRecordsIsNull) { EXPECT_EQ(threats::storeText({}), "null"); }

TEST(StoreTextTest, OneRecordHasTabsAndSortedKeys) {
  const ThreatItem item = record("7", "a.example", true);
  EXPECT_EQ(threats::storeText({item}),
            "[\n\t{\n\t\t\"anonymous\" : \"\",\n\t\t\"confidence_level\" : \"\",\n"
            "\t\t\"first_seen_utc\" : \"\",\n\t\t\"id\" : \"7\",\n\t\t\"ioc_type\" : \"domain\",\n"
            "\t\t\"ioc_value\" : \"a.example\",\n\t\t\"last_seen_utc\" : \"\",\n"
            "\t\t\"malware\" : \"\",\n\t\t\"malware_alias\" : \"\",\n"
            "\t\t\"malware_printable\" : \"\",\n\t\t\"reference\" : \"\",\n"
            "\t\t\"reporter\" : \"\",\n\t\t\"status\" : true,\n\t\t\"tags\" : \"\",\n"
            "\t\t\"threat_type\" : \"\",\n\t\t\"uid\" : " +
                std::to_string(item.uid) + ",\n\t\t\"uniq_id\" : \"" + item.uniq_id + "\"\n\t}\n]");
}

TEST(StoreTextTest, EscapesAsTheJsonLibrary) {
  const char* values[] = {
      "plain/slash",       "quote \" and \\ backslash",
      "tab\tnewline\n",    "del \x7f",
      "caf\xc3\xa9",       "nul",
      "\xff broken utf-8", "emoji \xf0\x9f\x98\x80",
  };
  std::vector<ThreatItem> records;
  for (const char* value : values) records.push_back(record(value, value, records.size() % 2));
  records.push_back(record(std::string("embedded\0zero", 13), "", false));
  Json::Value array(Json::arrayValue);
  for (const ThreatItem& item : records) array.append(item.toJson());
  EXPECT_EQ(threats::storeText(records), json_text::write(array));
}

}  // namespace
