// Control of the Suricata and ferryd services and of Suricata's rule
// reloads, through fixed shell commands (nothing from a request goes into
// them), and the command runner of the rule validation.
#include "rules/Rules.h"

#include <stdexcept>

#include "common/BuildSettings.h"
#include "common/Log.h"
#include "common/Process.h"
#include "http/ReplyCompat.h"

using Pistache::Http::Code;
using Pistache::Http::ResponseWriter;
using Pistache::Rest::Request;

namespace {

constexpr int kSystemctlLimit = build_settings::kSystemctlLimitSeconds;

// Runs `command`; logs `done` when it exits with 0, else throws `failure`.
void runOrThrow(const char* command, int limitSeconds, const char* done, const char* failure) {
  if (!process::succeeds(command, limitSeconds)) throw RulesException(failure);
  logging::alert("%s", done);
}

void print(const char* line) { logging::printLine(line); }

// Runs `start` unless `isActive` exits with 0 (systemd reports the unit
// active), which fails with `alreadyRunning` instead.
void startUnlessActive(const char* isActive, const char* alreadyRunning, const char* starting,
                       const char* start, const char* done, const char* failure) {
  if (process::succeeds(isActive, kSystemctlLimit)) throw RulesException(alreadyRunning);
  print(starting);
  runOrThrow(start, kSystemctlLimit, done, failure);
}

// The reply of a service handler: `success` after `operation` returns, else
// 500 with `prefix` and the error's text.
void answerService(ResponseWriter& response, void (*operation)(), const char* success,
                   const char* prefix) {
  Rules::addCORSHeaders(response);
  try {
    operation();
    reply::sendText(response, Code::Ok, success);
  } catch (const std::exception& e) {
    reply::sendError(response, std::string(prefix) + e.what());
  }
}

// A reload's reply: `success` when suricatasc exits with 0, "Error reloading
// rules" for any other status, the time limit's text when it hangs.
void answerReload(ResponseWriter& response, const char* command, const char* success) {
  Rules::addCORSHeaders(response);
  try {
    if (process::succeeds(command, build_settings::kSuricatascLimitSeconds)) {
      reply::sendText(response, Code::Ok, success);
    } else {
      reply::sendError(response, "Error reloading rules");
    }
  } catch (const std::exception& e) {
    reply::sendError(response, e.what());
  }
}

}  // namespace

// ---- Operations ------------------------------------------------------------

void Rules::reloadSuricata() {
  logging::alert("Reloading Suricata...");
  runOrThrow("systemctl restart suricata", kSystemctlLimit, "Suricata restarted successfully.",
             "Failed to restart Suricata.");
}

void Rules::stopSuricata() {
  runOrThrow("systemctl stop suricata", kSystemctlLimit, "Suricata stopped successfully.",
             "Failed to stop Suricata.");
}

void Rules::startSuricata() {
  startUnlessActive("systemctl is-active --quiet suricata", "Suricata is already running.",
                    "Suricata is not running, starting now...", "systemctl start suricata",
                    "Suricata started successfully.", "Failed to start Suricata.");
}

void Rules::updateSuricataRules() {
  print("Reloading Suricata...");
  runOrThrow("sudo suricata-update", build_settings::kSuricataUpdateLimitSeconds, "Suricata rules updated successfully.",
             "Failed to update rules for Suricata.");
}

void Rules::startDaemon() {
  startUnlessActive("systemctl is-active --quiet ferryd", "Daemon is already running.",
                    "Ferryd is not running, starting now...", "systemctl start ferryd",
                    "Ferryd started successfully.", "Failed to start Ferryd.");
}

void Rules::stopDaemon() {
  print("Stopping ferryd...");
  runOrThrow("systemctl stop ferryd", kSystemctlLimit, "Ferryd stopped successfully.", "Failed to stop Ferryd.");
}

// ---- Handlers ----------------------------------------------------------------

void Rules::handlereloadSuricata(const Request&, ResponseWriter response) {
  answerService(response, &reloadSuricata, "Suricata restartedd successfully",
                "Cannot restart Suricata: ");
}

void Rules::handlestartSuricata(const Request&, ResponseWriter response) {
  answerService(response, &startSuricata, "Suricata started successfully",
                "Cannot start Suricata: ");
}

void Rules::handlestopSuricata(const Request&, ResponseWriter response) {
  answerService(response, &stopSuricata, "Suricata stopped successfully",
                "Cannot stop Suricata: ");
}

void Rules::handleupdateSuricataRules(const Request&, ResponseWriter response) {
  addCORSHeaders(response);
  try {
    updateSuricataRules();
    reply::sendText(response, Code::Ok, "Suricata rules updated successfully");
  } catch (const RulesException& e) {
    reply::sendError(response, std::string("Cannot update Suricata rules: ") + e.what());
  } catch (const std::exception& e) {
    reply::sendError(response, std::string("Cannot update Suricata: ") + e.what());
  }
}

void Rules::handlestartDaemon(const Request&, ResponseWriter response) {
  answerService(response, &startDaemon, "Ferryd started successfully", "Cannot start Ferryd: ");
}

void Rules::handlestopDaemon(const Request&, ResponseWriter response) {
  answerService(response, &stopDaemon, "Ferryd stopped successfully", "Cannot stop Ferryd: ");
}

void Rules::reloadRulesBlocking(const Request&, ResponseWriter response) {
  answerReload(response, "suricatasc -c reload-rules", "Rules reloaded successfully (blocking)");
}

void Rules::reloadRulesNonBlocking(const Request&, ResponseWriter response) {
  answerReload(response, "suricatasc -c ruleset-reload-nonblocking",
               "Rules reloaded successfully (nonblocking)");
}
