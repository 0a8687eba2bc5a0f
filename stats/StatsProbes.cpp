// The event-count histogram, the probe whether Suricata runs and the
// modification date of the rules file.
#include "stats/StatsProbes.h"

#include <sys/stat.h>

#include <ctime>
#include <string>
#include <vector>

#include "common/BuildSettings.h"
#include "common/Configuration.h"
#include "common/Log.h"
#include "common/Process.h"
#include "common/RedisWrapper.h"

namespace stats {

namespace {

// The histogram's entries in reply order, each by the name the front end
// reads and the lists it counts. Suricata's event type (and so the daemon's
// list) for the BitTorrent DHT is "bittorrent_dht"; the entry keeps the name
// "bittorent-dht" and also counts a list of that older spelling.
struct HistogramEntry {
  const char* name;
  const char* lists[2];
};
constexpr HistogramEntry kHistogram[] = {
    {"alert", {"alert"}}, {"anomaly", {"anomaly"}},
    {"quic", {"quic"}},   {"ftp", {"ftp"}},
    {"drop", {"drop"}},   {"dhcp", {"dhcp"}},
    {"http2", {"http2"}}, {"bittorent-dht", {"bittorrent_dht", "bittorent-dht"}},
    {"smb", {"smb"}},     {"dns", {"dns"}},
    {"flow", {"flow"}},   {"http", {"http"}},
    {"tls", {"tls"}},     {"fileinfo", {"fileinfo"}},
    {"ssh", {"ssh"}},     {"stats", {"stats"}}};

// The length of list `key` from its LLEN reply (0 for a missing list).
int64_t listLength(const char* key, const redisReply* reply) {
  if (!reply) {
    logging::alert("Stats: Redis command error (nullptr reply for key '%s')", key);
    throw StatsException("Stats: Redis command error");
  }
  if (reply->type != redis_type::kInteger) {
    logging::alert("Stats: Invalid Redis response type for key '%s'. Expected INTEGER, got: %d",
                   key, reply->type);
    throw StatsException(std::string("Stats: Invalid Redis response type for key '") + key + "'");
  }
  return reply->integer;
}

}  // namespace

Json::Value get_histogramm() {
  logging::info("Stats: Requesting histogram data from Redis");
  // Every length in one write after one lock check: the counts of one moment.
  std::vector<std::string> commands;
  for (const HistogramEntry& entry : kHistogram) {
    for (const char* list : entry.lists) {
      if (list != nullptr) commands.push_back(formatCommand("LLEN %s", list));
    }
  }
  const std::vector<RedisReplyPtr> lengths = RedisWrapper().readWithLock(commands);
  Json::Value histogram(Json::arrayValue);
  size_t next = 0;
  for (const HistogramEntry& entry : kHistogram) {
    int64_t events = 0;
    for (const char* list : entry.lists) {
      if (list != nullptr) events += listLength(list, lengths[next++].get());
    }
    Json::Value count(Json::objectValue);
    count[entry.name] = static_cast<int32_t>(events);
    histogram.append(std::move(count));
  }
  logging::info("Stats: Successfully retrieved histogram data");
  return histogram;
}

bool isSuricataRunning() {
  return process::succeeds({"pgrep", "Suricata-Main"}, build_settings::kCommandLimitSeconds,
                           process::Output::kDiscarded);
}

std::string getLastModifiedDate(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return "File not found";
  std::tm local{};
  localtime_r(&status.st_mtime, &local);
  char text[100];
  const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(text, length);
}

std::string getRulesFileDate() {
  return getLastModifiedDate(config::readString(config::kRulesFile));
}

}  // namespace stats
