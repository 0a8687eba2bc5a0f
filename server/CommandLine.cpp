// Options of the server binary.
#include "server/CommandLine.h"

#include <algorithm>
#include <iostream>
#include <string>

#include "common/BuildSettings.h"
#include "common/ConfigCheck.h"
#include "common/Configuration.h"

namespace command_line {

namespace {

constexpr char kUsage[] =
    "usage: pavora_server                      serve the API\n"
    "       pavora_server --check-config [PATH] check a configuration file\n"
    "       pavora_server --version             print the version and build settings\n";

int checkConfig(const std::string& path) {
  const std::vector<config::Problem> problems = config::check(path);
  for (const config::Problem& problem : problems) {
    std::cout << problem.key << ": " << problem.text << "\n";
  }
  if (!problems.empty()) {
    // The TLS keys are read at start: with a problem there nothing is served.
    const bool startFails =
        std::any_of(problems.begin(), problems.end(), [](const config::Problem& problem) {
          return problem.key == config::kTlsCertificateFile || problem.key == config::kTlsKeyFile;
        });
    std::cout << path << ": " << problems.size() << " problem" << (problems.size() == 1 ? "" : "s")
              << (startFails ? "; the server does not start on it\n"
                             : "; the routes that need these keys would fail\n");
    return 1;
  }
  std::cout << path << ": every key is usable\n";
  return 0;
}

int printVersion() {
  namespace b = build_settings;
  std::cout << "pavora_server " << b::kVersion << "\n"
            << "configuration file: " << b::kConfigPath << "\n"
            << "HTTP port: " << b::kHttpPort << "\n"
            << "Redis: 127.0.0.1:" << b::kRedisPort << ", time-out " << b::kRedisTimeoutSeconds
            << " s, lock wait " << b::kLockWaitSeconds << " s\n"
            << "command limits: suricata -T " << b::kSuricataTestLimitSeconds << " s, suricatasc "
            << b::kSuricatascLimitSeconds << " s, systemctl " << b::kSystemctlLimitSeconds
            << " s, suricata-update " << b::kSuricataUpdateLimitSeconds << " s, others "
            << b::kCommandLimitSeconds << " s\n"
            << "feed download: stall " << b::kFeedStallSeconds << " s, whole transfer "
            << b::kFeedTransferSeconds << " s\n"
            << "slow-work pool: " << b::kSlowThreads << " threads, " << b::kSlowQueue
            << " waiting; scan pool: one thread per core, " << b::kScanQueue << " waiting\n"
            << "stop grace: " << b::kStopGraceSeconds << " s\n"
            << "feed refresh: one hour of ioc_refresh_hours lasts " << b::kRefreshHourSeconds
            << " s\n"
            << "reverse DNS of neighbours: " << (b::kReverseDns ? "on" : "off") << "\n";
  return 0;
}

int usage() {
  std::cerr << kUsage;
  return 2;
}

}  // namespace

std::optional<int> run(int argc, const char* const* argv) {
  if (argc <= 1) return std::nullopt;
  const std::string option = argv[1];
  if (option == "--check-config" && argc <= 3) {
    return checkConfig(argc == 3 ? argv[2] : build_settings::kConfigPath);
  }
  if (option == "--version" && argc == 2) return printVersion();
  return usage();
}

}  // namespace command_line
