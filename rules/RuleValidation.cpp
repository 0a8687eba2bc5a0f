// Checking a rule with Suricata's test mode before it is accepted.
#include <mutex>

#include "common/BuildSettings.h"
#include "common/Configuration.h"
#include "common/NoFollow.h"
#include "common/Process.h"
#include "rules/RuleEdits.h"

namespace {

// Every validation writes the same scratch file and runs the test on it, so
// only one runs at a time: each run checks the rule it wrote.
std::mutex g_validationMutex;

}  // namespace

namespace rules {

std::pair<bool, std::string> validate_rule(const std::string& rule) {
  std::lock_guard<std::mutex> guard(g_validationMutex);
  try {
    libconfig::Config cfg;
    config::load(cfg);
    const std::string scratchFile = config::getString(cfg, config::kTmpRuleFile);
    const std::string suricataConf = config::getString(cfg, config::kSuricataConf);
    writeScratchFile(scratchFile, rule);
    // Its report is read from standard output and error together.
    std::string output = process::exec({"suricata", "-T", "-c", suricataConf, "-S", scratchFile},
                                       build_settings::kSuricataTestLimitSeconds,
                                       process::Capture::kOutputAndErrors);
    if (output.find("E: ") != std::string::npos) return {false, std::move(output)};
    return {true, ""};
  } catch (const process::TimeLimitExceeded&) {
    throw;  // the route's failure, not the rule's
  } catch (const SymbolicLinkError&) {
    throw;  // the configuration's failure, not the rule's
  } catch (const std::exception& e) {
    return {false, e.what()};
  }
}

}  // namespace rules
