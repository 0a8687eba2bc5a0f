// The rebuild of the local indicator store from the feed file, and the age
// and type filters that choose its records.
#include "threats/IndicatorStore.h"

#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "common/AtomicFile.h"
#include "common/Configuration.h"
#include "common/Log.h"
#include "threats/FeedColumns.h"
#include "threats/StoreSnapshot.h"
#include "threats/StoreText.h"
#include "threats/ThreatsSupport.h"

namespace {

// Whole hours from `then` to now, truncated toward zero; counted in seconds so
// that dates centuries away cannot overflow.
int64_t hoursSince(time_t then) {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  const int64_t seconds =
      std::chrono::duration_cast<std::chrono::seconds>(now).count() - static_cast<int64_t>(then);
  return seconds / 3600;
}

// The uids that the store at `path` holds switched off; none when there is no
// store yet or it cannot be read (logged: those switches are lost).
std::unordered_set<uint64_t> switchedOff(const std::string& path) {
  std::unordered_set<uint64_t> uids;
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return uids;
  try {
    const auto store = threats_support::readStore(path, "Unable to open IOC file: %s");
    if (store->simple()) {
      for (size_t i = 0; i < store->size(); ++i) {
        if (!store->status(i)) uids.insert(store->record(i).uid);
      }
    } else {
      for (const Json::Value& object : store->document()) {
        const ThreatItem item = ThreatItem::parsejson(object);
        if (!item.status) uids.insert(item.uid);
      }
    }
  } catch (const std::exception& e) {
    logging::alert("The indicator store %s cannot be read; its switches are not kept: %s",
                   path.c_str(), e.what());
    uids.clear();
  }
  return uids;
}

}  // namespace

namespace threats {

bool processThreats(int32_t n_days, Switches switches) {
  // One rebuild at a time, the others waiting their turn: each holds the
  // records of the whole feed in memory.
  static std::mutex rebuildMutex;
  const std::lock_guard<std::mutex> oneAtATime(rebuildMutex);
  std::string feedPath;
  std::string storePath;
  try {
    const auto paths = threats_support::readSettings(
        {config::kIocFullFileName, config::kIocLocalFileName}, "Error reading config file",
        threats_support::kNotFoundLogSpaced);
    feedPath = paths[0];
    storePath = paths[1];
  } catch (const ThreatsException&) {
    return false;  // logged where it failed
  }

  std::ifstream feed(feedPath);
  if (!feed.is_open()) {
    logging::alert("Cannot open input file: %s", feedPath.c_str());
    return false;
  }
  std::vector<ThreatItem> records;
  FeedColumns columns;  // by position until a header names them
  std::string line;
  while (std::getline(feed, line)) {
    if (!line.empty() && line[0] == '#') {
      if (std::optional<FeedColumns> header = FeedColumns::fromHeader(line)) columns = *header;
      continue;
    }
    // The first-seen date is the first column in every layout the feed has
    // published: read it before splitting, so old lines cost no split.
    ThreatItem item;
    if (columns.firstSeenColumn() == 0) {
      if (!isWithinNDays(line.substr(0, line.find(',')), n_days)) continue;
      item = columns.record(ThreatItem::parseCsvLine(line));
    } else {
      const std::vector<std::string> fields = ThreatItem::parseCsvLine(line);
      const size_t firstSeen = columns.firstSeenColumn();
      if (fields.size() <= firstSeen || !isWithinNDays(fields[firstSeen], n_days)) continue;
      item = columns.record(fields);
    }
    if (!isWithinValidTypes(item)) continue;
    records.push_back(std::move(item));
  }
  if (feed.bad()) {
    logging::alert("Cannot read input file: %s", feedPath.c_str());
    return false;
  }

  try {
    // The old store is read under the lock: a switch made meanwhile is kept.
    const std::lock_guard<std::mutex> lock(threats_support::storeMutex());
    if (switches == Switches::kKeep) {
      const std::unordered_set<uint64_t> off = switchedOff(storePath);
      for (ThreatItem& item : records) {
        if (off.count(item.uid) != 0) item.status = false;
      }
    }
    replaceFileAtomically(storePath, storeText(records));
  } catch (const std::runtime_error& e) {
    logging::alert("Cannot open output file: %s", e.what());
    throw ThreatsException(e.what());
  }
  return true;
}

bool isWithinNDays(const std::string& date, int32_t n_days) {
  std::string text;
  text.reserve(date.size());
  for (char c : date) {
    if (c != '"') text += c;
  }
  std::tm when{};
  if (strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &when) == nullptr) return false;
  // The feed gives its times in UTC, whatever the host's zone.
  return 24 * static_cast<int64_t>(n_days) >= hoursSince(timegm(&when));
}

bool isWithinValidTypes(const ThreatItem& item) {
  return item.ioc_type == "ip:port" || item.ioc_type == "url" || item.ioc_type == "domain";
}

}  // namespace threats
