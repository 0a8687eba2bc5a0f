// The statistics routes: the snapshot of Suricata's counters, the 24-hour
// charts, the event-count histogram, the probe whether Suricata runs and the
// rules file's modification date. Every reply carries the Stats cross-origin
// headers.
#ifndef STATS_STATS_H_
#define STATS_STATS_H_

#include "http/Frame.h"

class Stats {
 public:
  // The JSON handlers answer 200 with the value's styled text (ending in a line
  // feed) and Content-Type application/json; any error is 500 with the
  // exception's text as plain text ("Stats error: %s" is logged for a
  // StatsException).

  // GET "/stats/": get_stats.
  static http::Handler handlegetStats();
  // GET "/stats/pkts/": prepare_data("pkts").
  static http::Handler handlegetStatsPkts();
  // GET "/stats/alerts/": prepare_resource_data("alerts").
  static http::Handler handlegetStatsAlerts();
  // GET "/stats/cpu/": prepare_resource_data("CPU_percent").
  static http::Handler handlegetStatsCPU();
  // GET "/stats/vm/": prepare_resource_data("virtual_memory").
  static http::Handler handlegetStatsVM();
  // GET "/stats/pm/": prepare_resource_data("physical_memory").
  static http::Handler handlegetStatsPM();
  // GET "/stats/histogramm/": get_histogramm.
  static http::Handler handlegetHistogramm();
  // GET "/suricata/running/": 200 "Suricata is running\n" or
  // "Suricata is not running\n", no content type.
  static http::Handler handleCheckSuricataStatus();
  // GET "/stats/update/": 200 with the rules file's modification time or
  // "File not found", no content type; 500 with the library's text when the
  // configuration cannot be read.
  static http::Handler handleGetFileDate();
};

#endif  // STATS_STATS_H_
