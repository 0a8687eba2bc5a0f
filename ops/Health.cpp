// Checking the configuration file, and Redis as its watcher last saw it.
#include "ops/Health.h"

#include <libconfig.h++>
#include <string>

#include "common/Configuration.h"
#include "common/FeedFreshness.h"
#include "ops/RedisWatch.h"

namespace ops {

namespace {

constexpr char kOk[] = "ok";

std::string configurationState() {
  try {
    libconfig::Config cfg;
    config::load(cfg);
    config::requireSettings(cfg);
    return kOk;
  } catch (const std::exception& e) {
    return config::problemOf(e);
  }
}

}  // namespace

Json::Value health() {
  Json::Value report(Json::objectValue);
  report["configuration"] = configurationState();
  report["redis"] = redis_watch::state();
  const bool ok = report["configuration"] == kOk && report["redis"] == kOk;
  report["status"] = ok ? kOk : "unavailable";
  // A stale feed leaves the API working: the member shows only then, so the
  // reply of a server whose refresh works (or that has none) stays as it was.
  if (feed_freshness::stale()) report["feed"] = "stale";
  return report;
}

bool healthy(const Json::Value& report) { return report["status"] == kOk; }

}  // namespace ops
