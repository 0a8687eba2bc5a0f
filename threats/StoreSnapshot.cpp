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

}  // namespace

// Reads the store with simdjson into records_; false when the JSON library
// must read it.
bool StoreSnapshot::readSimple() {
  dom::parser parser;
  dom::element root;
  if (parser.parse(text_.data(), text_.size(), false).get(root)) return false;
  if (root.is_null()) return true;
  dom::array array;
  if (root.get_array().get(array)) return false;
  records_.reserve(array.size());
  // Decoded strings are never longer than their JSON text. Reserved, not
  // touched: only the pages written count against memory.
  strings_.reserve(text_.size());
  for (const dom::element element : array) {
    dom::object object;
    if (element.get_object().get(object)) return false;
    Stored stored{};
    uint32_t seen = 0;  // text members already read, by position
    bool statusSeen = false;
    int next = 0;  // stored keys come in member order: try that one first
    for (const dom::key_value_pair field : object) {
      if (field.key == "status") {
        // A missing "status" reads as disabled; a repeated one is left to the library.
        if (statusSeen || field.value.get_bool().get(stored.status)) return false;
        statusSeen = true;
        continue;
      }
      const int index = next < ThreatItem::kTextMemberCount && field.key == ThreatItem::textMemberKey(next)
                            ? next
                            : ThreatItem::textMemberIndex(field.key);
      if (index < 0) {
        if (!skippable(field.value)) return false;
        continue;
      }
      next = index + 1;
      const uint32_t bit = 1u << index;
      std::string_view value;
      // A repeated key: the parsers keep different ones.
      if ((seen & bit) != 0 || field.value.get_string().get(value)) return false;
      seen |= bit;
      if (strings_.size() + value.size() > UINT32_MAX) return false;
      stored.begin[index] = static_cast<uint32_t>(strings_.size());
      stored.size[index] = static_cast<uint32_t>(value.size());
      strings_ += value;
    }
    records_.push_back(stored);
  }
  return true;
}

StoreSnapshot::StoreSnapshot(file_cache::FileText text) : text_(std::move(text)) {
  simple_ = readSimple();
  if (simple_) return;
  records_ = {};
  strings_ = {};
  if (!threats_support::parseJson(text_.view(), document_, error_)) return;
  notAList_ = !document_.isNull() && !document_.isArray();
}

std::string_view StoreSnapshot::text(size_t index, int member) const {
  const Stored& stored = records_[index];
  return std::string_view(strings_).substr(stored.begin[member], stored.size[member]);
}

ThreatItem StoreSnapshot::record(size_t index) const {
  ThreatItem item;
  for (int member = 0; member < ThreatItem::kTextMemberCount; ++member) {
    item.*ThreatItem::textMemberAt(member) = std::string(text(index, member));
  }
  item.status = status(index);
  item.identify();
  return item;
}

std::vector<ThreatItem> StoreSnapshot::records() const {
  std::vector<ThreatItem> all;
  all.reserve(records_.size());
  for (size_t i = 0; i < records_.size(); ++i) all.push_back(record(i));
  return all;
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
