// Checking the configuration file and Redis.
#include "ops/Health.h"

#include <libconfig.h++>
#include <string>

#include "common/BuildSettings.h"
#include "common/Configuration.h"
#include "common/FeedFreshness.h"
#include "common/RedisWrapper.h"

namespace ops {

namespace {

constexpr char kOk[] = "ok";
constexpr int kRedisTimeoutSeconds = 2;

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

std::string redisState() {
  try {
    const RedisContextPtr context =
        connectToRedis("127.0.0.1", build_settings::kRedisPort, kRedisTimeoutSeconds);
    const RedisReplyPtr reply(static_cast<redisReply*>(redisCommand(context.get(), "PING")));
    if (!reply) return std::string("Redis connection error: ") + context->errstr;
    if (reply->type == redis_type::kError) return std::string("Redis error: ") + reply->str;
    return kOk;
  } catch (const std::exception& e) {
    return e.what();
  }
}

}  // namespace

Json::Value health() {
  Json::Value report(Json::objectValue);
  report["configuration"] = configurationState();
  report["redis"] = redisState();
  const bool ok = report["configuration"] == kOk && report["redis"] == kOk;
  report["status"] = ok ? kOk : "unavailable";
  // A stale feed leaves the API working: the member shows only then, so the
  // reply of a server whose refresh works (or that has none) stays as it was.
  if (feed_freshness::stale()) report["feed"] = "stale";
  return report;
}

bool healthy(const Json::Value& report) { return report["status"] == kOk; }

}  // namespace ops
