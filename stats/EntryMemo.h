// The statistics entries read by the last chart request on this thread, kept
// by their exact text for the next one. "stats" gains an entry a minute and
// loses its oldest, so nearly every entry of a request was read by the one
// before; an entry whose bytes are the same reads the same.
#ifndef STATS_ENTRYMEMO_H_
#define STATS_ENTRYMEMO_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "stats/StatsItem.h"

namespace stats {

class EntryMemo {
 public:
  // StatsItem::parse of `text`, from the previous request's entries when one
  // had exactly these bytes. Throws as StatsItem::parse; nothing is kept then.
  // The record stays valid until the next call.
  const StatsItem& parse(std::string_view text);
  // Ends a request: from now on only the entries it read are kept.
  void finishRequest();

  // Entries kept from one request at most; a longer list reads the rest
  // afresh every time.
  static constexpr size_t kMaxEntries = 8192;

 private:
  struct Entry {
    std::string text;
    StatsItem item;
    uint64_t request;  // the last request that read it
  };
  // Keyed by a hash of the text; a hit is confirmed by comparing the text.
  std::unordered_map<uint64_t, Entry> entries_;
  uint64_t request_ = 1;             // the request under way
  std::optional<StatsItem> unkept_;  // an entry that found no place
};

}  // namespace stats

#endif  // STATS_ENTRYMEMO_H_
