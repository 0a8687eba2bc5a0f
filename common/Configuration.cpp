// Reading of the configuration file through libconfig++.
#include "common/Configuration.h"

#include <stdexcept>

#include "common/BuildSettings.h"

namespace config {

const char* path() { return build_settings::kConfigPath; }

void load(libconfig::Config& cfg) { cfg.readFile(path()); }

namespace {

class NoSettings : public std::runtime_error {
 public:
  NoSettings()
      : std::runtime_error(std::string("Configuration file ") + path() + " holds no settings") {}
};

}  // namespace

void requireSettings(const libconfig::Config& cfg) {
  if (cfg.getRoot().getLength() == 0) throw NoSettings();
}

std::string problemOf(const std::exception& error) {
  if (const auto* parse = dynamic_cast<const libconfig::ParseException*>(&error)) {
    return std::string("Config parse error at line ") + std::to_string(parse->getLine()) + ": " +
           parse->getError();
  }
  if (dynamic_cast<const NoSettings*>(&error) != nullptr) return error.what();
  return std::string("Cannot read ") + path() + ": " + error.what();
}

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
