// Reading of the configuration file through libconfig++.
#include "common/Configuration.h"

#include "common/BuildSettings.h"

namespace config {

const char* path() { return build_settings::kConfigPath; }

void load(libconfig::Config& cfg) { cfg.readFile(path()); }

std::string getString(const libconfig::Config& cfg, const char* key) {
  const libconfig::Setting& setting = cfg.lookup(key);
  if (setting.getType() != libconfig::Setting::TypeString) {
    throw libconfig::SettingTypeException(setting);
  }
  return static_cast<const char*>(setting);
}

double getFloat(const libconfig::Config& cfg, const char* key) {
  const libconfig::Setting& setting = cfg.lookup(key);
  if (setting.getType() != libconfig::Setting::TypeFloat) {
    throw libconfig::SettingTypeException(setting);
  }
  return static_cast<double>(setting);
}

std::string readString(const char* key) {
  libconfig::Config cfg;
  load(cfg);
  return getString(cfg, key);
}

}  // namespace config
