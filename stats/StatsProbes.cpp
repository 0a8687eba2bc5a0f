// The event-count histogram, the probe whether Suricata runs and the
// modification date of the rules file.
#include "stats/StatsProbes.h"

#include <sys/stat.h>

#include <ctime>
#include <string>

#include "common/BuildSettings.h"
#include "common/Configuration.h"
#include "common/Log.h"
#include "common/Process.h"
#include "common/RedisWrapper.h"

namespace stats {

namespace {

// The event lists the histogram counts, in reply order ("bittorent-dht" is
// the daemon's own spelling of the list name).
constexpr const char* kHistogramKeys[] = {
    "alert", "anomaly", "quic", "ftp",  "drop", "dhcp",     "http2", "bittorent-dht",
    "smb",   "dns",     "flow", "http", "tls",  "fileinfo", "ssh",   "stats"};

}  // namespace

Json::Value get_histogramm() {
  logging::info("Stats: Requesting histogram data from Redis");
  Json::Value histogram(Json::arrayValue);
  for (const char* key : kHistogramKeys) {
    const RedisReplyPtr reply = runWithLock("LLEN %s", key);
    if (!reply) {
      logging::alert("Stats: Redis command error (nullptr reply for key '%s')", key);
      throw StatsException("Stats: Redis command error");
    }
    if (reply->type != redis_type::kInteger) {
      logging::alert("Stats: Invalid Redis response type for key '%s'. Expected INTEGER, got: %d", key,
             reply->type);
      throw StatsException(std::string("Stats: Invalid Redis response type for key '") + key + "'");
    }
    Json::Value count(Json::objectValue);
    count[key] = static_cast<int32_t>(reply->integer);
    histogram.append(std::move(count));
  }
  logging::info("Stats: Successfully retrieved histogram data");
  return histogram;
}

bool isSuricataRunning() {
  return process::succeeds("pgrep Suricata-Main > /dev/null", build_settings::kCommandLimitSeconds);
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
