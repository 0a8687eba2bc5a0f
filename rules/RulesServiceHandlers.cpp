// HTTP handlers of the service control and of Suricata's rule reloads: each
// runs its fixed command on the slow pool (nothing from the request goes
// into it) and answers in plain text.
#include <exception>
#include <string>

#include "common/BuildSettings.h"
#include "common/Process.h"
#include "http/Frame.h"
#include "rules/Rules.h"
#include "rules/Services.h"

using http::Request;

namespace {

// The error reply of a service route: 500 with `kPrefix` and the error's text.
template <const char* kPrefix>
http::Reply prefixedError(const std::exception& error) {
  return http::error(kPrefix + std::string(error.what()));
}

constexpr char kCannotRestart[] = "Cannot restart Suricata: ";
constexpr char kCannotStart[] = "Cannot start Suricata: ";
constexpr char kCannotStop[] = "Cannot stop Suricata: ";
constexpr char kCannotStartDaemon[] = "Cannot start Ferryd: ";
constexpr char kCannotStopDaemon[] = "Cannot stop Ferryd: ";

// A failed suricata-update run has its own prefix; any other error (the time
// limit, a command that cannot start) the general one.
http::Reply updateError(const std::exception& error) {
  const bool failedRun = dynamic_cast<const RulesException*>(&error) != nullptr;
  return http::error((failedRun ? "Cannot update Suricata rules: " : "Cannot update Suricata: ") +
                     std::string(error.what()));
}

constexpr http::Cors kCors = http::Cors::kRules;
// Every route here waits on an outside command (the slow pool) and changes
// state, acting on no one thing.
template <http::ErrorReply onError>
constexpr http::Frame kService{kCors, onError, &http::noSubject};
constexpr http::Frame kRestartFrame = kService<&prefixedError<kCannotRestart>>;
constexpr http::Frame kStartFrame = kService<&prefixedError<kCannotStart>>;
constexpr http::Frame kStopFrame = kService<&prefixedError<kCannotStop>>;
constexpr http::Frame kUpdateFrame = kService<&updateError>;
constexpr http::Frame kStartDaemonFrame = kService<&prefixedError<kCannotStartDaemon>>;
constexpr http::Frame kStopDaemonFrame = kService<&prefixedError<kCannotStopDaemon>>;
constexpr http::Frame kReloadFrame = kService<&http::errorText>;

// A reload's reply: `success` when "suricatasc -c <subcommand>" exits with 0,
// 500 "Error reloading rules" for any other status; past its limit it throws
// the time limit's text. Callers: reloadRulesBlocking, reloadRulesNonBlocking.
http::Reply reloadReply(const char* subcommand, const char* success) {
  const process::Command reload{"suricatasc", "-c", subcommand};
  if (process::succeeds(reload, build_settings::kSuricatascLimitSeconds)) {
    return http::text(success);
  }
  return http::error("Error reloading rules");
}

}  // namespace

http::Handler Rules::handlereloadSuricata() {
  return {kRestartFrame, [](const Request&) {
            rules::reloadSuricata();
            return http::text("Suricata restartedd successfully");
          }};
}

http::Handler Rules::handlestartSuricata() {
  return {kStartFrame, [](const Request&) {
            rules::startSuricata();
            return http::text("Suricata started successfully");
          }};
}

http::Handler Rules::handlestopSuricata() {
  return {kStopFrame, [](const Request&) {
            rules::stopSuricata();
            return http::text("Suricata stopped successfully");
          }};
}

http::Handler Rules::handleupdateSuricataRules() {
  return {kUpdateFrame, [](const Request&) {
            rules::updateSuricataRules();
            return http::text("Suricata rules updated successfully");
          }};
}

http::Handler Rules::handlestartDaemon() {
  return {kStartDaemonFrame, [](const Request&) {
            rules::startDaemon();
            return http::text("Ferryd started successfully");
          }};
}

http::Handler Rules::handlestopDaemon() {
  return {kStopDaemonFrame, [](const Request&) {
            rules::stopDaemon();
            return http::text("Ferryd stopped successfully");
          }};
}

http::Handler Rules::reloadRulesBlocking() {
  return {kReloadFrame, [](const Request&) {
            return reloadReply("reload-rules", "Rules reloaded successfully (blocking)");
          }};
}

http::Handler Rules::reloadRulesNonBlocking() {
  return {kReloadFrame, [](const Request&) {
            return reloadReply("ruleset-reload-nonblocking",
                               "Rules reloaded successfully (nonblocking)");
          }};
}
