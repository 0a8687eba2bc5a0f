// The event-count histogram, the probe whether Suricata runs and the
// modification date of the rules file.
#ifndef STATS_STATSPROBES_H_
#define STATS_STATSPROBES_H_

#include <json/value.h>

#include <string>

#include "stats/StatsException.h"

namespace stats {

// One object {name: events} per entry, for the 16 entries "alert" ...
// "stats" in a fixed order: LLEN of the list of that name, each through
// RedisWrapper; "bittorent-dht" counts the lists "bittorrent_dht" and
// "bittorent-dht" together. Throws
// StatsException "Stats: Redis command error" (no reply) or
// "Stats: Invalid Redis response type for key '<key>'" (not an integer).
Json::Value get_histogramm();

// Whether a process named Suricata-Main runs ("pgrep Suricata-Main").
bool isSuricataRunning();

// Modification time of `path` as local "%Y-%m-%d %H:%M:%S", or
// "File not found" when it cannot be stat'ed.
std::string getLastModifiedDate(const std::string& path);

// getLastModifiedDate of the file named by "application.settings.rules_file".
// libconfig's exceptions pass through when the configuration cannot be read.
std::string getRulesFileDate();

}  // namespace stats

#endif  // STATS_STATSPROBES_H_
