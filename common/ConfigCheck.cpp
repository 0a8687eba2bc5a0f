// Checking a configuration file key by key.
#include "common/ConfigCheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <libconfig.h++>

#include "common/Configuration.h"
#include "common/RefreshSettings.h"
#include "common/TlsCredentials.h"
#include "common/TlsSettings.h"

namespace config {

namespace {

// What a key must hold, and what the server does with the path it names.
enum class Kind {
  kText,           // a string, no path
  kFloat,          // a float written with a decimal point
  kStringList,     // a parenthesised list of strings
  kReadFile,       // a file the server reads
  kRewrittenFile,  // a file the server reads and replaces in its folder
  kWrittenFile,    // a file the server creates or replaces in its folder
  kWrittenFolder,  // a folder the server writes into
};

struct Key {
  const char* name;
  Kind kind;
  bool optional = false;
};

const Key kKeys[] = {
    {kFastFile, Kind::kReadFile},
    {kGeoFile, Kind::kReadFile},
    {kCountry, Kind::kText},
    {kCity, Kind::kText},
    {kLatitude, Kind::kFloat},
    {kLongitude, Kind::kFloat},
    {kRulesFile, Kind::kRewrittenFile},
    {kTmpRuleFile, Kind::kWrittenFile},
    {kSuricataConf, Kind::kRewrittenFile},
    {kAdditionalRules, Kind::kWrittenFile},
    {kIocFullLink, Kind::kText},
    {kIocFullFilePath, Kind::kWrittenFolder},
    {kIocFullFileName, Kind::kText},
    {kIocLocalFileName, Kind::kWrittenFile},
    {kIocDomainRules, Kind::kWrittenFile},
    {kIocUrlRules, Kind::kWrittenFile},
    {kIocIpRules, Kind::kWrittenFile},
    {kIocDomainsLst, Kind::kWrittenFile},
    {kStatisticalEvents, Kind::kStringList},
    {kApiTokenFile, Kind::kReadFile, true},
    {kAllowedOrigin, Kind::kText, true},
    {kThresholdFile, Kind::kRewrittenFile, true},
};

const char* typeName(libconfig::Setting::Type type) {
  switch (type) {
    case libconfig::Setting::TypeInt: return "an integer";
    case libconfig::Setting::TypeInt64: return "a 64-bit integer";
    case libconfig::Setting::TypeFloat: return "a float";
    case libconfig::Setting::TypeString: return "a string";
    case libconfig::Setting::TypeBoolean: return "a boolean";
    case libconfig::Setting::TypeGroup: return "a group";
    case libconfig::Setting::TypeArray: return "an array";
    case libconfig::Setting::TypeList: return "a list";
    default: return "no value";
  }
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Why `path` cannot serve as `kind`, or "".
std::string pathProblem(const std::string& path, Kind kind) {
  struct stat info {};
  if (kind == Kind::kReadFile || kind == Kind::kRewrittenFile) {
    if (stat(path.c_str(), &info) != 0) return path + ": " + std::strerror(errno);
    if (S_ISDIR(info.st_mode)) return path + ": is a folder, not a file";
    if (access(path.c_str(), R_OK) != 0) return path + ": cannot be read: " + std::strerror(errno);
    if (kind == Kind::kReadFile) return "";
  }
  const std::string folder = kind == Kind::kWrittenFolder ? path : folderOf(path);
  if (stat(folder.c_str(), &info) != 0) return folder + ": " + std::strerror(errno);
  if (!S_ISDIR(info.st_mode)) return folder + ": not a folder";
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    return folder + ": folder cannot be written: " + std::strerror(errno);
  }
  return "";
}

// Why `setting` cannot serve as `kind`, or "".
std::string settingProblem(const libconfig::Setting& setting, Kind kind) {
  const libconfig::Setting::Type type = setting.getType();
  if (kind == Kind::kFloat) {
    return type == libconfig::Setting::TypeFloat
               ? ""
               : std::string("is ") + typeName(type) + ", must be a float (55.0, not 55)";
  }
  if (kind == Kind::kStringList) {
    if (type != libconfig::Setting::TypeList) {
      return std::string("is ") + typeName(type) + ", must be a list of strings ( \"alert\" )";
    }
    for (int i = 0; i < setting.getLength(); ++i) {
      if (setting[i].getType() != libconfig::Setting::TypeString) {
        return "element " + std::to_string(i + 1) + " is " + typeName(setting[i].getType()) +
               ", must be a string";
      }
    }
    return "";
  }
  if (type != libconfig::Setting::TypeString) {
    return std::string("is ") + typeName(type) + ", must be a string";
  }
  if (kind == Kind::kText) return "";
  return pathProblem(static_cast<const char*>(setting), kind);
}

}  // namespace

std::vector<Problem> check(const std::string& path) {
  libconfig::Config cfg;
  try {
    cfg.readFile(path.c_str());
  } catch (const libconfig::FileIOException&) {
    return {{path, std::string("cannot be read: ") + std::strerror(errno)}};
  } catch (const libconfig::ParseException& e) {
    return {{path, "line " + std::to_string(e.getLine()) + ": " + e.getError()}};
  }
  std::vector<Problem> problems;
  for (const Key& key : kKeys) {
    if (!cfg.exists(key.name)) {
      if (!key.optional) problems.push_back({key.name, "missing"});
      continue;
    }
    const std::string problem = settingProblem(cfg.lookup(key.name), key.kind);
    if (!problem.empty()) problems.push_back({key.name, problem});
  }
  const RefreshSettings refresh = refreshSettings(cfg);
  if (!refresh.problem.empty()) problems.push_back({refresh.problemKey, refresh.problem});
  const TlsSettings tlsKeys = tlsSettings(cfg);
  if (!tlsKeys.problem.empty()) {
    problems.push_back({tlsKeys.problemKey, tlsKeys.problem});
  } else if (tlsKeys.enabled) {
    try {
      tls::load(tlsKeys.certificateFile, tlsKeys.keyFile);
    } catch (const tls::Error& e) {
      problems.push_back({e.key(), e.detail()});
    }
  }
  return problems;
}

}  // namespace config
