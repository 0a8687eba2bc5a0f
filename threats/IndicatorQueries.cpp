// The local indicator store: pages of its records, found by identifier, type
// or status, and the switch of one indicator.
#include "threats/IndicatorStore.h"

#include <fstream>
#include <functional>
#include <mutex>

#include "common/AtomicFile.h"
#include "common/Configuration.h"
#include "common/JsonText.h"
#include "common/Log.h"
#include "threats/ThreatsSupport.h"

namespace {

using Match = std::function<bool(const Json::Value&)>;

// Records of `store` that `match`, positions [(page-1)·size, page·size).
// Only the records on the page are built in full.
std::vector<ThreatItem> cutPage(const Json::Value& store, const Match& match, int32_t page,
                                int32_t page_size) {
  const int64_t first = (static_cast<int64_t>(page) - 1) * page_size;
  const int64_t end = static_cast<int64_t>(page) * page_size;
  std::vector<ThreatItem> records;
  int64_t position = 0;
  for (const Json::Value& object : store) {
    if (!match(object)) continue;
    if (position >= first && position < end) records.push_back(ThreatItem::parsejson(object));
    if (++position >= end) break;
  }
  return records;
}

std::vector<ThreatItem> findPage(const Match& match, int32_t page, int32_t page_size,
                                 const char* readErrorText, const char* notFoundLog) {
  const std::string path = threats_support::readSettings({config::kIocLocalFileName},
                                                         readErrorText, notFoundLog)[0];
  return cutPage(threats_support::readStore(path, "Unable to open file: %s"), match, page,
                 page_size);
}

}  // namespace

namespace threats {

std::vector<ThreatItem> getThreats(int32_t page, int32_t page_size) {
  return findPage([](const Json::Value&) { return true; }, page, page_size,
                  "Error reading config file: ", threats_support::kNotFoundLog);
}

std::vector<ThreatItem> findThreatsById(const std::string& id, int32_t page, int32_t page_size) {
  return findPage(
      [&](const Json::Value& object) { return ThreatItem::textMember(object, "id") == id; },
      page, page_size, "Error reading config file", threats_support::kNotFoundLog);
}

std::vector<ThreatItem> findThreatsByIocType(const std::string& ioc_type, int32_t page,
                                             int32_t page_size) {
  return findPage(
      [&](const Json::Value& object) {
        return ThreatItem::textMember(object, "ioc_type") == ioc_type;
      },
      page, page_size, "Error reading config file", threats_support::kNotFoundLogSpaced);
}

std::vector<ThreatItem> findThreatsByStatus(const std::string& status, int32_t page,
                                            int32_t page_size) {
  const bool enabled = status == "enabled";
  return findPage(
      [&](const Json::Value& object) { return ThreatItem::statusMember(object) == enabled; },
      page, page_size, "Error reading config file", threats_support::kNotFoundLogSpaced);
}

void ToggleThreatStatus(uint64_t uid) {
  std::string path;
  try {
    path = config::readString(config::kIocLocalFileName);
  } catch (const libconfig::ConfigException& e) {
    throw std::runtime_error(std::string("Config error: ") + e.what());
  }

  const std::lock_guard<std::mutex> lock(threats_support::storeMutex());
  Json::Value store;
  {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) throw std::runtime_error("Unable to open file: " + path);
    std::string error;
    if (!threats_support::parseJson(in, store, error)) {
      throw std::runtime_error("Error reading JSON from file: " + error);
    }
  }
  if (!store.isNull() && !store.isArray()) {
    throw std::runtime_error("Error reading JSON from file: no list of indicators in " + path);
  }

  Json::Value records(Json::arrayValue);
  bool found = false;
  for (const Json::Value& object : store) {
    ThreatItem item = ThreatItem::parsejson(object);
    if (item.uid == uid) {
      item.status = !item.status;
      found = true;
      logging::printLine("Threat toggled: " + item.uniq_id);
    }
    records.append(item.toJson());
  }
  if (!found) throw std::runtime_error("Threat with given UID not found");
  replaceFileAtomically(path, json_text::write(records));
}

}  // namespace threats
