// Removal of temporary files that killed runs left next to configured files.
#include "server/Leftovers.h"

#include <exception>
#include <libconfig.h++>
#include <set>
#include <string>

#include "common/AtomicFile.h"
#include "common/Configuration.h"
#include "common/Log.h"
#include "threats/FeedDownload.h"

namespace leftovers {

namespace {

// The keys of the files the server replaces through a temporary file.
constexpr const char* kWrittenFiles[] = {
    config::kRulesFile,        config::kAdditionalRules, config::kSuricataConf,
    config::kIocLocalFileName, config::kIocFullFileName, config::kIocDomainRules,
    config::kIocUrlRules,      config::kIocIpRules,      config::kIocDomainsLst,
    config::kThresholdFile,
};

std::set<std::string> writtenPaths(const libconfig::Config& cfg) {
  std::set<std::string> paths;
  const auto add = [&](const char* key, const std::string& suffix) {
    // A key missing or not a string names no file to clean next to.
    if (!cfg.exists(key) || cfg.lookup(key).getType() != libconfig::Setting::TypeString) return;
    paths.insert(config::getString(cfg, key) + suffix);
  };
  for (const char* key : kWrittenFiles) add(key, "");
  add(config::kIocFullFilePath, std::string("/") + threats::kFeedFileName);
  return paths;
}

}  // namespace

size_t removeAtStart() {
  libconfig::Config cfg;
  try {
    config::load(cfg);
  } catch (const std::exception& e) {
    logging::warning("Temporary files of an earlier run not looked for: %s",
                     config::problemOf(e).c_str());
    return 0;
  }
  size_t removed = 0;
  for (const std::string& path : writtenPaths(cfg)) removed += removeLeftoverFiles(path);
  logging::info("Removed %zu temporary files left by an earlier run", removed);
  return removed;
}

}  // namespace leftovers
