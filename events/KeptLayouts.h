// Layouts of stored events, kept by their stored text, for the event page.
// A dashboard asks for the newest page of a list every few seconds and gets
// mostly the events it got last time; an event's layout depends on its
// stored text alone, so a text seen before is copied rather than parsed and
// written again. A kept layout is used only for a text equal to the one it
// was made from, byte for byte.
#ifndef EVENTS_KEPTLAYOUTS_H_
#define EVENTS_KEPTLAYOUTS_H_

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "common/JsonLayout.h"

namespace events {

// Bounded in bytes (texts, layouts and their bookkeeping) and shared by all
// threads.
// Two generations: a text used again moves to the young one; once the young
// one holds half the bound, the old one is dropped and the young one takes
// its place, so that what a dashboard keeps asking for stays.
class KeptLayouts {
 public:
  // Texts longer than this are never kept.
  static constexpr size_t kMaxTextBytes = 64 * 1024;

  explicit KeptLayouts(size_t boundBytes);
  KeptLayouts(const KeptLayouts&) = delete;
  KeptLayouts& operator=(const KeptLayouts&) = delete;

  // When the layout of `text` is kept, appends it to `array` as its next
  // element and returns true; otherwise returns false and appends nothing.
  bool addKept(std::string_view text, json_layout::ArrayText& array);

  // Keeps `layout`, the text an array held for the element made of `text`.
  void keep(std::string_view text, std::string_view layout);

  struct Counts {
    size_t entries = 0;
    size_t bytes = 0;
    uint64_t hits = 0;
    uint64_t misses = 0;
  };
  Counts counts() const;

 private:
  struct Entry {
    std::string text;
    std::string layout;
  };
  using Generation = std::unordered_map<uint64_t, Entry>;  // by the text's hash

  // An entry's bytes, with what the map and the strings take beside them.
  static size_t sizeOf(const Entry& entry) {
    constexpr size_t kEntryOverhead = 128;
    return entry.text.size() + entry.layout.size() + kEntryOverhead;
  }
  void insertYoung(uint64_t hash, Entry entry);

  const size_t generationBytes_;
  mutable std::mutex mutex_;
  Generation young_;
  Generation old_;
  size_t youngBytes_ = 0;
  size_t oldBytes_ = 0;
  uint64_t hits_ = 0;
  uint64_t misses_ = 0;
};

// The layouts of the event page, for the process (8 MiB).
KeptLayouts& pageLayouts();

}  // namespace events

#endif  // EVENTS_KEPTLAYOUTS_H_
