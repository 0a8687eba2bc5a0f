// Reading the scheduled feed refresh's keys.
#include "common/RefreshSettings.h"

#include "common/Configuration.h"

namespace config {

namespace {

// The integer at `key` when it lies in [low, high]; otherwise `problem` says why.
bool integerIn(const libconfig::Config& cfg, const char* key, long long low, long long high,
               int& value, std::string& problem) {
  const libconfig::Setting& setting = cfg.lookup(key);
  const libconfig::Setting::Type type = setting.getType();
  const std::string range = std::to_string(low) + (high > low ? " to " + std::to_string(high) : "");
  if (type != libconfig::Setting::TypeInt && type != libconfig::Setting::TypeInt64) {
    problem = "must be an integer from " + range;
    return false;
  }
  // Without libconfig's automatic conversion each width reads only as itself.
  const long long number = type == libconfig::Setting::TypeInt
                               ? static_cast<long long>(static_cast<int>(setting))
                               : static_cast<long long>(setting);
  if (number < low || number > high) {
    problem = "is " + std::to_string(number) + ", must be an integer from " + range;
    return false;
  }
  value = static_cast<int>(number);
  return true;
}

// Hours beyond ten years are surely a slip; they would also overflow the clock.
constexpr long long kMaxHours = 24 * 366 * 10;

}  // namespace

RefreshSettings refreshSettings(const libconfig::Config& cfg) {
  RefreshSettings settings;
  const bool hasHours = cfg.exists(kIocRefreshHours);
  const bool hasDays = cfg.exists(kIocRefreshDays);
  if (!hasHours) {
    if (hasDays) {
      settings.problemKey = kIocRefreshDays;
      settings.problem = std::string("is set without ") + kIocRefreshHours + ": no refresh runs";
    }
    return settings;
  }
  if (!integerIn(cfg, kIocRefreshHours, 1, kMaxHours, settings.hours, settings.problem)) {
    settings.problemKey = kIocRefreshHours;
    return settings;
  }
  if (!hasDays) {
    settings.problemKey = kIocRefreshDays;
    settings.problem = std::string("missing: ") + kIocRefreshHours + " needs it";
    return settings;
  }
  if (!integerIn(cfg, kIocRefreshDays, 0, kMaxRefreshDays, settings.days, settings.problem)) {
    settings.problemKey = kIocRefreshDays;
    return settings;
  }
  settings.enabled = true;
  return settings;
}

}  // namespace config
