// Reading the indicator store with simdjson, falling back to the JSON library
// for any store the two might read differently.
#include "threats/StoreSnapshot.h"

#include <cstdint>
#include <string_view>

#include <simdjson.h>

#include "threats/ThreatsSupport.h"

namespace threats {

namespace {

namespace dom = simdjson::dom;

// Members whose value the JSON library would read but ThreatItem ignores
// ("uid", "uniq_id", unknown keys): a string or an integer is taken as both
// parsers take it; anything else is left to the JSON library.
bool skippable(dom::element value) {
  const dom::element_type type = value.type();
  return type == dom::element_type::STRING || type == dom::element_type::INT64 ||
         type == dom::element_type::UINT64;
}

// One stored object as a record; false when it is not simple.
bool readRecord(dom::element element, ThreatItem& item) {
  dom::object object;
  if (element.get_object().get(object)) return false;
  item.status = false;  // a missing "status" reads as disabled
  uint32_t seen = 0;    // text members already read, by position
  bool statusSeen = false;
  for (const dom::key_value_pair field : object) {
    if (field.key == "status") {
      if (statusSeen || field.value.get_bool().get(item.status)) return false;
      statusSeen = true;
      continue;
    }
    const int index = ThreatItem::textMemberIndex(field.key);
    if (index < 0) {
      if (!skippable(field.value)) return false;
      continue;
    }
    // A repeated key: the parsers keep different ones.
    const uint32_t bit = 1u << index;
    std::string_view text;
    if ((seen & bit) != 0 || field.value.get_string().get(text)) return false;
    seen |= bit;
    item.*ThreatItem::textMemberAt(index) = std::string(text);
  }
  item.identify();
  return true;
}

// The records of `text`, or false when the JSON library must read it.
bool readSimple(const file_cache::FileText& text, std::vector<ThreatItem>& records) {
  dom::parser parser;
  dom::element root;
  if (parser.parse(text.data(), text.size(), false).get(root)) return false;
  if (root.is_null()) return true;
  dom::array array;
  if (root.get_array().get(array)) return false;
  records.reserve(array.size());
  for (const dom::element element : array) {
    records.emplace_back();
    if (!readRecord(element, records.back())) return false;
  }
  return true;
}

}  // namespace

StoreSnapshot::StoreSnapshot(file_cache::FileText text) {
  simple_ = readSimple(text, records_);
  if (simple_) return;
  records_.clear();
  records_.shrink_to_fit();
  if (!threats_support::parseJson(text.view(), document_, error_)) return;
  notAList_ = !document_.isNull() && !document_.isArray();
}

namespace {

file_cache::FileCache<StoreSnapshot>& cache() {
  static file_cache::FileCache<StoreSnapshot> snapshots;
  return snapshots;
}

}  // namespace

std::shared_ptr<const StoreSnapshot> storeSnapshot(const std::string& path) {
  return cache().get(path);
}

const file_cache::CacheStatistics& storeCacheStatistics() { return cache().statistics(); }

}  // namespace threats
