// The local indicator store as read once: its records, built straight from a
// simdjson pass as spans of the text read, or for a store that only the JSON
// library reads the same way (comments, numbers or nulls in text members,
// duplicate keys, escaped keys...), that library's document or its error.
// Shared read-only by the store's readers.
#ifndef THREATS_STORESNAPSHOT_H_
#define THREATS_STORESNAPSHOT_H_

#include <json/value.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/FileCache.h"
#include "threats/ThreatItem.h"

namespace threats {

class StoreSnapshot {
 public:
  // Never throws for content: a store the JSON library rejects keeps its error.
  explicit StoreSnapshot(file_cache::FileText text);
  StoreSnapshot(const StoreSnapshot&) = delete;
  StoreSnapshot& operator=(const StoreSnapshot&) = delete;

  // The text read.
  std::string_view source() const { return text_.view(); }

  // True when the records below hold the store: JSON null or an array of
  // objects whose text members are strings and whose "status" is a boolean,
  // each read as ThreatItem::parsejson reads it. Otherwise document() or error().
  bool simple() const { return simple_; }
  size_t size() const { return records_.size(); }
  // Member `member` (ThreatItem::textMemberAt) and the status of record `index`.
  std::string_view text(size_t index, int member) const;
  bool status(size_t index) const { return records_[index].status; }
  // Record `index` whole, or all of them.
  ThreatItem record(size_t index) const;
  std::vector<ThreatItem> records() const;

  // When not simple(): the JSON library's error text (empty when it read the
  // store), whether the document is neither an array nor null, and the document.
  const std::string& error() const { return error_; }
  bool notAList() const { return notAList_; }
  const Json::Value& document() const { return document_; }

 private:
  // One record: its text members in member order, each a span of text_, or
  // of decoded_ when its bit in `decoded` is set (a JSON string with escapes).
  struct Stored {
    uint32_t begin[ThreatItem::kTextMemberCount];
    uint32_t size[ThreatItem::kTextMemberCount];
    uint16_t decoded;
    bool status;
  };
  static_assert(ThreatItem::kTextMemberCount <= 16, "one bit of Stored::decoded per text member");

  bool readSimple();

  const file_cache::FileText text_;
  bool simple_ = false;
  std::string decoded_;  // the text members with escapes, decoded, end to end
  std::vector<Stored> records_;
  std::string error_;
  bool notAList_ = false;
  Json::Value document_;
};

// The snapshot of the store at `path` as it is now (common/FileCache.h).
// Throws file_cache::OpenError or file_cache::ReadError.
std::shared_ptr<const StoreSnapshot> storeSnapshot(const std::string& path);

// Hits and rebuilds of the store's snapshot, for a metrics reader.
const file_cache::CacheStatistics& storeCacheStatistics();

}  // namespace threats

#endif  // THREATS_STORESNAPSHOT_H_
