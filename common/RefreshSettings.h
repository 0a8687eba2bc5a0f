// The two optional keys of the scheduled feed refresh, read and checked in
// one place for the schedule and for --check-config.
#ifndef COMMON_REFRESHSETTINGS_H_
#define COMMON_REFRESHSETTINGS_H_

#include <cstdint>
#include <libconfig.h++>
#include <string>

namespace config {

// Largest day count a store rebuild keeps, as "/ioc/filter/:n_days" accepts it.
inline constexpr int32_t kMaxRefreshDays = 2147483647;

// What "ioc_refresh_hours" and "ioc_refresh_days" say.
struct RefreshSettings {
  // False when "ioc_refresh_hours" is absent: no refresh runs.
  bool enabled = false;
  int hours = 0;  // the interval, whole hours >= 1
  int days = 0;   // the rebuild's day count, 0 to kMaxRefreshDays
  // Why the keys cannot be used, "" when they can: `problemKey` names the
  // dotted key. With a problem no refresh runs.
  std::string problemKey;
  std::string problem;
};

// Reads both keys from `cfg`. "ioc_refresh_hours" must be an integer of at
// least 1; with it, "ioc_refresh_days" must be present and an integer from 0
// to kMaxRefreshDays. "ioc_refresh_days" alone is a problem too (it would be
// ignored). Never throws.
RefreshSettings refreshSettings(const libconfig::Config& cfg);

}  // namespace config

#endif  // COMMON_REFRESHSETTINGS_H_
