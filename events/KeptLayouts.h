// Layouts of stored events, kept by their stored text, for the event page
// and the alert map. A dashboard asks for the newest events of a list every
// few seconds and gets mostly the events it got last time; what the page
// writes of an event depends on its stored text alone (and the map's also on
// its city database and the site's location), so a text seen before is
// copied rather than parsed and written again. A kept layout is used only for
// a text equal to the one it was made from, byte for byte.
#ifndef EVENTS_KEPTLAYOUTS_H_
#define EVENTS_KEPTLAYOUTS_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/JsonLayout.h"

namespace events {

// Bounded in bytes (texts, layouts, lines and their bookkeeping) and shared
// by all threads. Two generations: a text used again moves to the young one;
// once the young one would pass half the bound, the old one is dropped and
// the young one takes its place, so that what a dashboard keeps asking for
// stays.
class KeptLayouts {
 public:
  // Texts longer than this are never kept.
  static constexpr size_t kMaxTextBytes = 64 * 1024;

  // What a layout depends on beside its text, the same for all that is kept
  // at one time: an object the layouts were made with (held while they are
  // kept, so that its address names it) and a text. None for the page.
  struct Context {
    std::shared_ptr<const void> object;
    std::string text;
    bool operator==(const Context& other) const {
      return object == other.object && text == other.text;
    }
  };

  explicit KeptLayouts(size_t boundBytes);
  KeptLayouts(const KeptLayouts&) = delete;
  KeptLayouts& operator=(const KeptLayouts&) = delete;

  // When the layout of `text` in `context` is kept, appends it to `array` as
  // its next element, the lines its making wrote to `lines` (when given),
  // and returns true; otherwise returns false and appends nothing.
  bool addKept(std::string_view text, json_layout::ArrayText& array,
               std::vector<std::string>* lines = nullptr, const Context& context = {});

  // Keeps `layout`, the text an array held for the element made of `text`
  // in `context`, with the `lines` its making wrote. What was kept in
  // another context is dropped first.
  void keep(std::string_view text, std::string_view layout, std::vector<std::string> lines = {},
            const Context& context = {});

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
    std::vector<std::string> lines;
  };
  using Generation = std::unordered_map<uint64_t, Entry>;  // by the text's hash

  // An entry's bytes, with what the map and the strings take beside them.
  static size_t sizeOf(const Entry& entry);
  void insertYoung(uint64_t hash, Entry entry);
  void dropAll();

  const size_t generationBytes_;
  mutable std::mutex mutex_;
  Context context_;
  Generation young_;
  Generation old_;
  size_t youngBytes_ = 0;
  size_t oldBytes_ = 0;
  uint64_t hits_ = 0;
  uint64_t misses_ = 0;
};

// The layouts of the event page, for the process (8 MiB).
KeptLayouts& pageLayouts();

// The short alerts of the alert map with their lookups' lines, for the
// process (4 MiB).
KeptLayouts& mapLayouts();

}  // namespace events

#endif  // EVENTS_KEPTLAYOUTS_H_
