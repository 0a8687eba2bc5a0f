// Control of the Suricata and ferryd services through fixed commands, each
// run with its time limit.
#include "rules/Services.h"

#include "common/BuildSettings.h"
#include "common/Log.h"
#include "common/Process.h"

namespace {

constexpr int kSystemctlLimit = build_settings::kSystemctlLimitSeconds;

// Runs `command`; logs `done` when it exits with 0, else throws `failure`.
void runOrThrow(const process::Command& command, int limitSeconds, const char* done,
                const char* failure) {
  if (!process::succeeds(command, limitSeconds)) throw RulesException(failure);
  logging::alert("%s", done);
}

void print(const char* line) { logging::printLine(line); }

// Runs `start` unless `isActive` exits with 0 (systemd reports the unit
// active), which fails with `alreadyRunning` instead.
void startUnlessActive(const process::Command& isActive, const char* alreadyRunning,
                       const char* starting, const process::Command& start, const char* done,
                       const char* failure) {
  if (process::succeeds(isActive, kSystemctlLimit)) throw RulesException(alreadyRunning);
  print(starting);
  runOrThrow(start, kSystemctlLimit, done, failure);
}

}  // namespace

namespace rules {

void reloadSuricata() {
  logging::alert("Reloading Suricata...");
  runOrThrow({"systemctl", "restart", "suricata"}, kSystemctlLimit,
             "Suricata restarted successfully.", "Failed to restart Suricata.");
}

void stopSuricata() {
  runOrThrow({"systemctl", "stop", "suricata"}, kSystemctlLimit, "Suricata stopped successfully.",
             "Failed to stop Suricata.");
}

void startSuricata() {
  startUnlessActive({"systemctl", "is-active", "--quiet", "suricata"},
                    "Suricata is already running.", "Suricata is not running, starting now...",
                    {"systemctl", "start", "suricata"}, "Suricata started successfully.",
                    "Failed to start Suricata.");
}

void updateSuricataRules() {
  print("Reloading Suricata...");
  runOrThrow({"sudo", "suricata-update"}, build_settings::kSuricataUpdateLimitSeconds,
             "Suricata rules updated successfully.", "Failed to update rules for Suricata.");
}

void startDaemon() {
  startUnlessActive({"systemctl", "is-active", "--quiet", "ferryd"}, "Daemon is already running.",
                    "Ferryd is not running, starting now...", {"systemctl", "start", "ferryd"},
                    "Ferryd started successfully.", "Failed to start Ferryd.");
}

void stopDaemon() {
  print("Stopping ferryd...");
  runOrThrow({"systemctl", "stop", "ferryd"}, kSystemctlLimit, "Ferryd stopped successfully.",
             "Failed to stop Ferryd.");
}

}  // namespace rules
