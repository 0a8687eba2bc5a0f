// The kept layouts of the event page and the alert map.
#include "events/KeptLayouts.h"

#include <functional>
#include <utility>

namespace events {

namespace {

uint64_t hashOf(std::string_view text) { return std::hash<std::string_view>()(text); }

}  // namespace

KeptLayouts::KeptLayouts(size_t boundBytes) : generationBytes_(boundBytes / 2) {}

size_t KeptLayouts::sizeOf(const Entry& entry) {
  constexpr size_t kEntryOverhead = 128;
  constexpr size_t kLineOverhead = 32;
  size_t bytes = entry.text.size() + entry.layout.size() + kEntryOverhead;
  for (const std::string& line : entry.lines) bytes += line.size() + kLineOverhead;
  return bytes;
}

bool KeptLayouts::addKept(std::string_view text, json_layout::ArrayText& array,
                          std::vector<std::string>* lines, const Context& context) {
  if (text.size() > kMaxTextBytes) return false;
  const uint64_t hash = hashOf(text);
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!(context == context_)) {
    ++misses_;
    return false;
  }
  const auto use = [&](const Entry& entry) {
    ++hits_;
    array.addWritten(entry.layout);
    if (lines != nullptr) lines->insert(lines->end(), entry.lines.begin(), entry.lines.end());
  };
  const auto young = young_.find(hash);
  if (young != young_.end() && young->second.text == text) {
    use(young->second);
    return true;
  }
  const auto old = old_.find(hash);
  if (old == old_.end() || old->second.text != text) {
    ++misses_;
    return false;
  }
  use(old->second);
  Entry entry = std::move(old->second);
  oldBytes_ -= sizeOf(entry);
  old_.erase(old);
  insertYoung(hash, std::move(entry));
  return true;
}

void KeptLayouts::keep(std::string_view text, std::string_view layout,
                       std::vector<std::string> lines, const Context& context) {
  if (text.size() > kMaxTextBytes) return;
  const uint64_t hash = hashOf(text);
  Entry entry{std::string(text), std::string(layout), std::move(lines)};  // copied unlocked
  const std::lock_guard<std::mutex> lock(mutex_);
  if (!(context == context_)) {
    dropAll();
    context_ = context;
  }
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

void KeptLayouts::dropAll() {
  young_ = Generation();
  old_ = Generation();
  youngBytes_ = 0;
  oldBytes_ = 0;
}

KeptLayouts::Counts KeptLayouts::counts() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return {young_.size() + old_.size(), youngBytes_ + oldBytes_, hits_, misses_};
}

KeptLayouts& pageLayouts() {
  static KeptLayouts* layouts = new KeptLayouts(8 << 20);  // lives as long as the process
  return *layouts;
}

KeptLayouts& mapLayouts() {
  static KeptLayouts* layouts = new KeptLayouts(4 << 20);  // lives as long as the process
  return *layouts;
}

}  // namespace events
