// Reading statistics entries once while their bytes stay the same.
#include "stats/EntryMemo.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace stats {

namespace {

// Entries differ near their start (the timestamp comes first) and in length:
// a hash of both is enough to find one; a hit is confirmed on the whole text.
uint64_t keyOf(std::string_view text) {
  constexpr size_t kHashed = 64;
  const size_t hashed = std::min(text.size(), kHashed);
  return std::hash<std::string_view>()(text.substr(0, hashed)) ^
         (std::hash<std::string_view>()(text.substr(text.size() - hashed)) << 1) ^
         (static_cast<uint64_t>(text.size()) * 0x9E3779B97F4A7C15ULL);
}

}  // namespace

const StatsItem& EntryMemo::parse(std::string_view text) {
  const uint64_t key = keyOf(text);
  const auto kept = entries_.find(key);
  if (kept != entries_.end() && kept->second.text == text) {
    kept->second.request = request_;
    return kept->second.item;
  }
  StatsItem item = StatsItem::parse(text.data(), text.data() + text.size());
  // Another text under the same key, read by this request, keeps its place.
  if ((kept != entries_.end() && kept->second.request == request_) ||
      (kept == entries_.end() && entries_.size() >= kMaxEntries)) {
    return unkept_.emplace(std::move(item));
  }
  Entry entry{std::string(text), std::move(item), request_};
  if (kept != entries_.end()) {
    kept->second = std::move(entry);  // the text under this key changed
    return kept->second.item;
  }
  return entries_.emplace(key, std::move(entry)).first->second.item;
}

void EntryMemo::finishRequest() {
  for (auto entry = entries_.begin(); entry != entries_.end();) {
    entry = entry->second.request == request_ ? std::next(entry) : entries_.erase(entry);
  }
  ++request_;
  unkept_.reset();
}

}  // namespace stats
