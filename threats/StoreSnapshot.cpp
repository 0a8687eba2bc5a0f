// Reading the indicator store with simdjson's on-demand parser, falling back to the JSON library
// for any store the two might read differently.
#include "threats/StoreSnapshot.h"

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include <simdjson.h>

#include "threats/ThreatsSupport.h"

namespace threats {

namespace {

namespace ondemand = simdjson::ondemand;

// The bytes of a JSON string whose token starts `token` (at its opening
// quote) when they hold no escape, so that they are the decoded text too;
// false for any other token.
bool plainString(std::string_view token, std::string_view& bytes) {
  if (token.empty() || token[0] != '"') return false;
  const size_t close = token.find('"', 1);
  if (close == std::string_view::npos) return false;
  bytes = token.substr(1, close - 1);
  return bytes.find('\\') == std::string_view::npos;
}

// Reads a member's string value: `plain` tells where its bytes are in the
// text, else the decoded text is in `decoded`. False when the value is no
// string or not a valid one.
bool readString(ondemand::value value, std::string_view& bytes, bool& plain) {
  plain = plainString(value.raw_json_token(), bytes);
  if (plain) return !value.get_raw_json_string().error();  // steps past it
  return !value.get_string().get(bytes);
}

// Members whose value the JSON library would read but ThreatItem ignores
// ("uid", "uniq_id", unknown keys): a string or an integer is taken as both
// parsers take it; anything else is left to the JSON library.
bool skip(ondemand::value value) {
  ondemand::json_type type;
  if (value.type().get(type)) return false;
  if (type == ondemand::json_type::string) {
    std::string_view bytes;
    bool plain = false;
    return readString(value, bytes, plain);
  }
  if (type != ondemand::json_type::number) return false;
  int64_t signedNumber = 0;
  uint64_t unsignedNumber = 0;
  return !value.get_int64().get(signedNumber) || !value.get_uint64().get(unsignedNumber);
}

// A key without escapes, as written in the text; false for one with escapes
// (left to the JSON library).
bool plainKey(const ondemand::raw_json_string& raw, const char* end, std::string_view& key) {
  const char* begin = raw.raw();
  const void* close = std::memchr(begin, '"', static_cast<size_t>(end - begin));
  if (close == nullptr) return false;
  key = std::string_view(begin, static_cast<size_t>(static_cast<const char*>(close) - begin));
  return key.find('\\') == std::string_view::npos;
}

}  // namespace

// Reads the store with simdjson's on-demand parser into records_, each text
// member a span of the text when its JSON string has no escape; false when
// the JSON library must read it. Every value is visited, so every one is
// validated as a whole-document parse would.
bool StoreSnapshot::readSimple() {
  if (text_.size() > UINT32_MAX) return false;
  const char* const end = text_.data() + text_.size();
  ondemand::parser parser;
  ondemand::document document;
  if (parser.iterate(text_.data(), text_.size(), text_.size() + file_cache::FileText::kPadding)
          .get(document)) {
    return false;
  }
  ondemand::json_type rootType;
  if (document.type().get(rootType)) return false;
  if (rootType == ondemand::json_type::null) {
    bool isNull = false;
    return !document.is_null().get(isNull) && isNull;  // false with anything after it
  }
  ondemand::array array;
  if (document.get_array().get(array)) return false;
  // Stored records take some 500 bytes of text. Reserved, not touched: only
  // the pages written count against memory.
  records_.reserve(text_.size() / 256 + 1);
  for (auto element : array) {
    ondemand::object object;
    if (element.get_object().get(object)) return false;
    Stored stored{};
    uint32_t seen = 0;  // text members already read, by position
    bool statusSeen = false;
    int next = 0;  // stored keys come in member order: try that one first
    for (auto member : object) {
      ondemand::field field;
      if (std::move(member).get(field)) return false;
      std::string_view key;
      if (!plainKey(field.key(), end, key)) return false;
      if (key == "status") {
        // A missing "status" reads as disabled; a repeated one is left to the library.
        if (statusSeen || field.value().get_bool().get(stored.status)) return false;
        statusSeen = true;
        continue;
      }
      const int index = next < ThreatItem::kTextMemberCount && key == ThreatItem::textMemberKey(next)
                            ? next
                            : ThreatItem::textMemberIndex(key);
      if (index < 0) {
        if (!skip(field.value())) return false;
        continue;
      }
      next = index + 1;
      const uint32_t bit = 1u << index;
      // A repeated key: the parsers keep different ones.
      if ((seen & bit) != 0) return false;
      seen |= bit;
      std::string_view value;
      bool plain = false;
      if (!readString(field.value(), value, plain)) return false;
      if (plain) {
        stored.begin[index] = static_cast<uint32_t>(value.data() - text_.data());
      } else {
        if (decoded_.size() + value.size() > UINT32_MAX) return false;
        stored.begin[index] = static_cast<uint32_t>(decoded_.size());
        stored.decoded |= static_cast<uint16_t>(bit);
        decoded_ += value;
      }
      stored.size[index] = static_cast<uint32_t>(value.size());
    }
    records_.push_back(stored);
  }
  // Nothing may follow the array.
  return document.current_location().error() == simdjson::OUT_OF_BOUNDS;
}

StoreSnapshot::StoreSnapshot(file_cache::FileText text) : text_(std::move(text)) {
  simple_ = readSimple();
  if (simple_) return;
  records_ = {};
  decoded_ = {};
  if (!threats_support::parseJson(text_.view(), document_, error_)) return;
  notAList_ = !document_.isNull() && !document_.isArray();
}

std::string_view StoreSnapshot::text(size_t index, int member) const {
  const Stored& stored = records_[index];
  const std::string_view from = (stored.decoded >> member & 1) != 0 ? std::string_view(decoded_) : text_.view();
  return from.substr(stored.begin[member], stored.size[member]);
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
