// One line of the threat feed: the CSV split, the indicator record it gives,
// and the age and type filters of the store rebuild. The record must survive
// its JSON form unchanged, identity included.
#include <climits>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "threats/IndicatorStore.h"
#include "threats/ThreatItem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);

  for (const std::string& field : ThreatItem::parseCsvLine(line)) {
    FUZZ_CHECK(field.size() <= line.size());
  }
  const std::string trimmed = ThreatItem::trim(line);
  FUZZ_CHECK(line.find(trimmed) != std::string::npos);

  const ThreatItem item = ThreatItem::parse_csv1(line);
  // A line of too few fields gives the default record, without identity.
  if (item.uniq_id.empty()) {
    FUZZ_CHECK(item.uid == 0 && item.ioc_type.empty());
  } else {
    FUZZ_CHECK(item.uniq_id == ThreatItem::hash_to_string(item.uid));
    FUZZ_CHECK(item.uid == item.calculate_hash());
  }

  // The filters the rebuild applies to this line.
  const std::string date = line.substr(0, line.find(','));
  for (int32_t days : {0, 1, 7, 365, -1, INT32_MAX, INT32_MIN}) threats::isWithinNDays(date, days);
  if (!threats::isWithinValidTypes(item)) return 0;

  // A record the store keeps reads back from its JSON form unchanged.
  const ThreatItem back = ThreatItem::parsejson(item.toJson());
  FUZZ_CHECK(back.toJson() == item.toJson());
  return 0;
}
