// Reading the indicator store with simdjson's on-demand parser, falling back to the JSON library
// for any store the two might read differently.
#include "threats/StoreSnapshot.h"

#include <simdjson.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string_view>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "threats/ThreatsSupport.h"

namespace threats {

namespace {

namespace ondemand = simdjson::ondemand;

// True when one of the `size` bytes at `p` is a backslash. May look at up to
// 15 bytes after them: they lie in a FileText, whose padding follows.
bool hasBackslash(const char* p, size_t size) {
#if defined(__SSE2__)
  const __m128i backslash = _mm_set1_epi8('\\');
  for (size_t i = 0; i < size; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, backslash)));
    if (size - i < 16) mask &= (1u << (size - i)) - 1;
    if (mask != 0) return true;
  }
  return false;
#else
  return std::memchr(p, '\\', size) != nullptr;
#endif
}

bool jsonSpace(char c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }

// The bytes of the JSON string `token` when they hold no escape, so that they
// are its decoded text too; false for any other token. A token runs from its
// first byte to the next structural character: a string's closing quote is
// its last byte but blanks.
bool plainString(std::string_view token, std::string_view& bytes) {
  if (token.empty() || token[0] != '"') return false;
  size_t close = token.size() - 1;
  while (close > 0 && jsonSpace(token[close])) --close;
  if (close == 0 || token[close] != '"') return false;
  bytes = token.substr(1, close - 1);
  return !hasBackslash(bytes.data(), bytes.size());
}

// Reads a member's string value: with `plain` set its bytes are the text's,
// else the decoded text in the parser's buffer. False when the value is no
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

// A key to look for where a key of the text starts: its bytes and the
// closing quote.
struct Key {
  explicit Key(std::string_view key) : text(key) {
    std::memcpy(quoted, key.data(), std::min(key.size(), sizeof quoted));
    if (key.size() < sizeof quoted) quoted[key.size()] = '"';
  }
  std::string_view text;  // holds no quote or backslash
  char quoted[16] = {};   // text and '"', when they fit

  // True when the key whose bytes start at `raw` (after its opening quote)
  // is this one. Looks at up to 16 bytes, or text.size() + 1 when more,
  // which lie in the FileText or its padding.
  bool at(const char* raw) const {
#if defined(__SSE2__)
    if (text.size() < sizeof quoted) {
      const __m128i equal =
          _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(raw)),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(quoted)));
      const unsigned wanted = (1u << (text.size() + 1)) - 1;
      return (static_cast<unsigned>(_mm_movemask_epi8(equal)) & wanted) == wanted;
    }
#endif
    return std::memcmp(raw, text.data(), text.size()) == 0 && raw[text.size()] == '"';
  }
};

// A key without escapes, as written in the text; false for one with escapes
// (left to the JSON library).
bool plainKey(const char* raw, const char* end, std::string_view& key) {
  const void* close = std::memchr(raw, '"', static_cast<size_t>(end - raw));
  if (close == nullptr) return false;
  key = std::string_view(raw, static_cast<size_t>(static_cast<const char*>(close) - raw));
  return !hasBackslash(key.data(), key.size());
}

// The text members' keys, in member order, and "status".
struct MemberKeys {
  MemberKeys() {
    for (int i = 0; i < ThreatItem::kTextMemberCount; ++i)
      of.emplace_back(ThreatItem::textMemberKey(i));
  }
  std::vector<Key> of;
  Key status{"status"};
};

}  // namespace

// Reads the store with simdjson's on-demand parser into records_, each text
// member a span of the text when its JSON string has no escape; false when
// the JSON library must read it. Every value is visited, so every one is
// validated as a whole-document parse would.
bool StoreSnapshot::readSimple() {
  if (text_.size() > UINT32_MAX) return false;
  const char* const end = text_.data() + text_.size();
  static const MemberKeys kKeys;
  // The parser's index of the text's tokens (4 bytes a token) is kept from
  // one read to the next, so a read does not fault it in again. Reads of the
  // store take turns (the file cache builds one parse at a time).
  static std::mutex parserMutex;
  static ondemand::parser parser;
  const std::lock_guard<std::mutex> lock(parserMutex);
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
      const char* const key = field.key().raw();
      int index = -1;
      if (next < ThreatItem::kTextMemberCount && kKeys.of[next].at(key)) {
        index = next;
      } else if (kKeys.status.at(key)) {
        // A missing "status" reads as disabled; a repeated one is left to the library.
        if (statusSeen || field.value().get_bool().get(stored.status)) return false;
        statusSeen = true;
        continue;
      } else {
        std::string_view plain;
        if (!plainKey(key, end, plain)) return false;
        index = ThreatItem::textMemberIndex(plain);
      }
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
  const std::string_view from =
      (stored.decoded >> member & 1) != 0 ? std::string_view(decoded_) : text_.view();
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
