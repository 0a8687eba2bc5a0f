// Access to the configuration file, which every operation re-reads afresh:
// a change to the file takes effect with the next request.
#ifndef COMMON_CONFIGURATION_H_
#define COMMON_CONFIGURATION_H_

#include <exception>
#include <libconfig.h++>
#include <string>

namespace config {

// Keys of the configuration file, all under "application.settings".
inline constexpr char kFastFile[] = "application.settings.fast_file";
inline constexpr char kGeoFile[] = "application.settings.geo_file";
inline constexpr char kCountry[] = "application.settings.country";
inline constexpr char kCity[] = "application.settings.city";
inline constexpr char kLatitude[] = "application.settings.latitude";
inline constexpr char kLongitude[] = "application.settings.longitude";
inline constexpr char kRulesFile[] = "application.settings.rules_file";
inline constexpr char kTmpRuleFile[] = "application.settings.tmp_rule_file";
inline constexpr char kSuricataConf[] = "application.settings.suricata_conf";
inline constexpr char kAdditionalRules[] = "application.settings.additional_rules";
inline constexpr char kIocFullLink[] = "application.settings.ioc_full_link";
inline constexpr char kIocFullFilePath[] = "application.settings.ioc_full_file_path";
inline constexpr char kIocFullFileName[] = "application.settings.ioc_full_file_name";
inline constexpr char kIocLocalFileName[] = "application.settings.ioc_local_file_name";
inline constexpr char kIocDomainRules[] = "application.settings.ioc_domain_rules";
inline constexpr char kIocUrlRules[] = "application.settings.ioc_url_rules";
inline constexpr char kIocIpRules[] = "application.settings.ioc_ip_rules";
inline constexpr char kIocDomainsLst[] = "application.settings.ioc_domains_lst";
inline constexpr char kStatisticalEvents[] = "application.settings.statistical_events";
// Optional: the file holding the API token, and the front end's origin.
inline constexpr char kApiTokenFile[] = "application.settings.api_token_file";
inline constexpr char kAllowedOrigin[] = "application.settings.allowed_origin";
// Optional: Suricata's threshold file (its "threshold-file:"), which the
// suppression routes list and edit.
inline constexpr char kThresholdFile[] = "application.settings.threshold_file";
// Optional: the scheduled feed refresh's interval in hours and the day count
// its store rebuild keeps (common/RefreshSettings.h).
inline constexpr char kIocRefreshHours[] = "application.settings.ioc_refresh_hours";
inline constexpr char kIocRefreshDays[] = "application.settings.ioc_refresh_days";
// Optional, read at start: the PEM files of the certificate (with any
// intermediates after it) and of its private key; with both the port speaks
// HTTPS only (common/TlsSettings.h).
inline constexpr char kTlsCertificateFile[] = "application.settings.tls_certificate_file";
inline constexpr char kTlsKeyFile[] = "application.settings.tls_key_file";

// The file compiled into the binary ("/etc/pavora/config++.conf" in production).
const char* path();

// Parses the configuration file into `cfg`.
// Throws libconfig::FileIOException when the file cannot be read and
// libconfig::ParseException when it is not valid libconfig syntax.
void load(libconfig::Config& cfg);

// Throws std::runtime_error "Configuration file <path> holds no settings"
// when `cfg` (as load() filled it) holds none: an empty file, or one that an
// editor has just truncated to rewrite it, is no configuration of this server.
void requireSettings(const libconfig::Config& cfg);

// Why the configuration file cannot be used, from what load() or
// requireSettings() threw: "Config parse error at line <n>: <error>" for bad
// syntax, else "Cannot read <path>: <what>" (or the text of requireSettings).
std::string problemOf(const std::exception& error);

// Returns the string setting at the dotted `key`.
// Throws libconfig::SettingNotFoundException when the key is missing and
// libconfig::SettingTypeException when it holds no string.
std::string getString(const libconfig::Config& cfg, const char* key);

// Returns the floating-point setting at `key`; an integer literal there is a
// type error (libconfig::SettingTypeException), as is any other type.
double getFloat(const libconfig::Config& cfg, const char* key);

// Loads the file and returns the one string setting at `key`, for the many
// operations that need a single path. Throws as load() and getString() do.
std::string readString(const char* key);

}  // namespace config

#endif  // COMMON_CONFIGURATION_H_
