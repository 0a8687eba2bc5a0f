// The event page's kept layouts.
#include "events/KeptLayouts.h"

#include <functional>
#include <utility>

namespace events {

namespace {

uint64_t hashOf(std::string_view text) { return std::hash<std::string_view>()(text); }

}  // namespace

KeptLayouts::KeptLayouts(size_t boundBytes) : generationBytes_(boundBytes / 2) {}

bool KeptLayouts::addKept(std::string_view text, json_layout::ArrayText& array) {
  if (text.size() > kMaxTextBytes) return false;
  const uint64_t hash = hashOf(text);
  const std::lock_guard<std::mutex> lock(mutex_);
  auto young = young_.find(hash);
  if (young != young_.end() && young->second.text == text) {
    ++hits_;
    array.addWritten(young->second.layout);
    return true;
  }
  auto old = old_.find(hash);
  if (old == old_.end() || old->second.text != text) {
    ++misses_;
    return false;
  }
  ++hits_;
  array.addWritten(old->second.layout);
  Entry entry = std::move(old->second);
  oldBytes_ -= sizeOf(entry);
  old_.erase(old);
  insertYoung(hash, std::move(entry));
  return true;
}

void KeptLayouts::keep(std::string_view text, std::string_view layout) {
  if (text.size() > kMaxTextBytes) return;
  const uint64_t hash = hashOf(text);
  Entry entry{std::string(text), std::string(layout)};  // copied outside the lock
  const std::lock_guard<std::mutex> lock(mutex_);
  insertYoung(hash, std::move(entry));
}

void KeptLayouts::insertYoung(uint64_t hash, Entry entry) {
  // A text whose hash another text already holds replaces it.
  const auto same = young_.find(hash);
  if (same != young_.end()) {
    youngBytes_ -= sizeOf(same->second);
    young_.erase(same);
  }
  const size_t bytes = sizeOf(entry);
  if (youngBytes_ + bytes > generationBytes_) {
    // The old generation is freed here, under the lock: a rare event, and
    // what it frees is bounded by the generation's size.
    old_ = std::move(young_);
    oldBytes_ = youngBytes_;
    young_ = Generation();
    youngBytes_ = 0;
  }
  youngBytes_ += bytes;
  young_.emplace(hash, std::move(entry));
}

KeptLayouts::Counts KeptLayouts::counts() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return {young_.size() + old_.size(), youngBytes_ + oldBytes_, hits_, misses_};
}

KeptLayouts& pageLayouts() {
  static KeptLayouts* layouts = new KeptLayouts(8 << 20);  // lives as long as the process
  return *layouts;
}

}  // namespace events
