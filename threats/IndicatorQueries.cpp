// The local indicator store: pages of its records, found by identifier, type
// or status, and the switch of one indicator. Every reader takes the store's
// snapshot, kept in memory while the file is unchanged.
#include <mutex>

#include "common/AtomicFile.h"
#include "common/Configuration.h"
#include "common/Log.h"
#include "threats/IndicatorStore.h"
#include "threats/StoreSnapshot.h"
#include "threats/StoreText.h"
#include "threats/ThreatsSupport.h"

namespace {

// Which records a listing keeps.
struct Filter {
  enum class Field { kAll, kId, kType, kStatus };
  Field field = Field::kAll;
  std::string text;      // the id or type wanted
  bool enabled = false;  // the status wanted

  bool operator()(const threats::StoreSnapshot& store, size_t index) const {
    static const int kId = ThreatItem::textMemberIndex("id");
    static const int kType = ThreatItem::textMemberIndex("ioc_type");
    switch (field) {
      case Field::kId: return store.text(index, kId) == text;
      case Field::kType: return store.text(index, kType) == text;
      case Field::kStatus: return store.status(index) == enabled;
      case Field::kAll: break;
    }
    return true;
  }
  // The same on a stored object, read (and failing) as ThreatItem::parsejson does.
  bool operator()(const Json::Value& object) const {
    switch (field) {
      case Field::kId: return ThreatItem::textMember(object, "id") == text;
      case Field::kType: return ThreatItem::textMember(object, "ioc_type") == text;
      case Field::kStatus: return ThreatItem::statusMember(object) == enabled;
      case Field::kAll: break;
    }
    return true;
  }
};

// The positions of one page among the matches: [first, end).
struct Page {
  int64_t first;
  int64_t end;
};

Page pageOf(int32_t page, int32_t page_size) {
  return {(static_cast<int64_t>(page) - 1) * page_size, static_cast<int64_t>(page) * page_size};
}

// The page's records; with `total`, every record is matched and the number of
// matches stored there.
std::vector<ThreatItem> cutPage(const threats::StoreSnapshot& store, const Filter& keep, Page page,
                                uint64_t* total) {
  std::vector<ThreatItem> result;
  int64_t position = 0;
  for (size_t i = 0; i < store.size() && (position < page.end || total != nullptr); ++i) {
    if (!keep(store, i)) continue;
    if (position >= page.first && position < page.end) result.push_back(store.record(i));
    ++position;
  }
  if (total != nullptr) *total = static_cast<uint64_t>(position);
  return result;
}

// The same over a store only the JSON library reads. Past the page, a record
// that cannot be matched is not counted rather than failing the page, which
// it never did.
std::vector<ThreatItem> cutPage(const Json::Value& document, const Filter& keep, Page page,
                                uint64_t* total) {
  std::vector<ThreatItem> result;
  int64_t position = 0;
  Json::ArrayIndex next = 0;
  for (; next < document.size() && position < page.end; ++next) {
    const Json::Value& object = document[next];
    if (!keep(object)) continue;
    if (position >= page.first) result.push_back(ThreatItem::parsejson(object));
    ++position;
  }
  if (total == nullptr) return result;
  for (; next < document.size(); ++next) {
    try {
      position += keep(document[next]) ? 1 : 0;
    } catch (const std::exception&) {
    }
  }
  *total = static_cast<uint64_t>(position);
  return result;
}

std::vector<ThreatItem> findPage(const Filter& keep, int32_t page, int32_t page_size,
                                 const char* readErrorText, const char* notFoundLog,
                                 uint64_t* total) {
  const std::string path =
      threats_support::readSettings({config::kIocLocalFileName}, readErrorText, notFoundLog)[0];
  const auto store = threats_support::readStore(path, "Unable to open file: %s");
  return store->simple() ? cutPage(*store, keep, pageOf(page, page_size), total)
                         : cutPage(store->document(), keep, pageOf(page, page_size), total);
}

Filter where(Filter::Field field, std::string text, bool enabled = false) {
  return Filter{field, std::move(text), enabled};
}

}  // namespace

namespace threats {

std::vector<ThreatItem> getThreats(int32_t page, int32_t page_size, uint64_t* total) {
  return findPage(Filter{}, page, page_size,
                  "Error reading config file: ", threats_support::kNotFoundLog, total);
}

std::vector<ThreatItem> findThreatsById(const std::string& id, int32_t page, int32_t page_size,
                                        uint64_t* total) {
  return findPage(where(Filter::Field::kId, id), page, page_size, "Error reading config file",
                  threats_support::kNotFoundLog, total);
}

std::vector<ThreatItem> findThreatsByIocType(const std::string& ioc_type, int32_t page,
                                             int32_t page_size, uint64_t* total) {
  return findPage(where(Filter::Field::kType, ioc_type), page, page_size,
                  "Error reading config file", threats_support::kNotFoundLogSpaced, total);
}

std::vector<ThreatItem> findThreatsByStatus(const std::string& status, int32_t page,
                                            int32_t page_size, uint64_t* total) {
  return findPage(where(Filter::Field::kStatus, "", status == "enabled"), page, page_size,
                  "Error reading config file", threats_support::kNotFoundLogSpaced, total);
}

void ToggleThreatStatus(uint64_t uid) {
  std::string path;
  try {
    path = config::readString(config::kIocLocalFileName);
  } catch (const libconfig::ConfigException& e) {
    throw std::runtime_error(std::string("Config error: ") + e.what());
  }

  const std::lock_guard<std::mutex> lock(threats_support::storeMutex());
  std::shared_ptr<const StoreSnapshot> store;
  try {
    store = storeSnapshot(path);
  } catch (const file_cache::OpenError&) {
    throw std::runtime_error("Unable to open file: " + path);
  } catch (const file_cache::ReadError& e) {
    throw std::runtime_error(std::string("Error reading JSON from file: ") + e.what());
  }
  std::vector<ThreatItem> records;
  if (store->simple()) {
    records = store->records();
  } else {
    if (!store->error().empty()) {
      throw std::runtime_error("Error reading JSON from file: " + store->error());
    }
    if (store->notAList()) {
      throw std::runtime_error("Error reading JSON from file: no list of indicators in " + path);
    }
    for (const Json::Value& object : store->document()) {
      records.push_back(ThreatItem::parsejson(object));
    }
  }

  bool found = false;
  for (ThreatItem& item : records) {
    if (item.uid != uid) continue;
    item.status = !item.status;
    found = true;
    logging::printLine("Threat toggled: " + item.uniq_id);
  }
  if (!found) throw std::runtime_error("Threat with given UID not found");
  replaceFileAtomically(path, storeText(records));
}

}  // namespace threats
