// Reading the TLS keys of the configuration.
#include "common/TlsSettings.h"

#include "common/Configuration.h"

namespace config {

namespace {

// Reads the string at `key` into `value`; otherwise says why in `settings`.
bool stringAt(const libconfig::Config& cfg, const char* key, std::string& value,
              TlsSettings& settings) {
  const libconfig::Setting& setting = cfg.lookup(key);
  if (setting.getType() != libconfig::Setting::TypeString) {
    settings.problemKey = key;
    settings.problem = "must be a string, the path of a PEM file";
    return false;
  }
  value = static_cast<const char*>(setting);
  return true;
}

}  // namespace

TlsSettings tlsSettings(const libconfig::Config& cfg) {
  TlsSettings settings;
  const bool hasCertificate = cfg.exists(kTlsCertificateFile);
  const bool hasKey = cfg.exists(kTlsKeyFile);
  if (!hasCertificate && !hasKey) return settings;
  if (!hasCertificate || !hasKey) {
    settings.problemKey = hasCertificate ? kTlsKeyFile : kTlsCertificateFile;
    settings.problem = std::string("missing: ") +
                       (hasCertificate ? kTlsCertificateFile : kTlsKeyFile) + " needs it";
    return settings;
  }
  if (!stringAt(cfg, kTlsCertificateFile, settings.certificateFile, settings)) return settings;
  if (!stringAt(cfg, kTlsKeyFile, settings.keyFile, settings)) return settings;
  settings.enabled = true;
  return settings;
}

}  // namespace config
