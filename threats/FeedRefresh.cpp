// The feed refresh's schedule and its runs.
#include "threats/FeedRefresh.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <libconfig.h++>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "common/BuildSettings.h"
#include "common/Configuration.h"
#include "common/FeedFreshness.h"
#include "common/Log.h"
#include "common/Metrics.h"
#include "common/RefreshSettings.h"
#include "http/Audit.h"
#include "http/Frame.h"
#include "threats/FeedDownload.h"
#include "threats/FeedWork.h"
#include "threats/IndicatorStore.h"
#include "threats/IocRules.h"

namespace feed_refresh {

namespace {

static_assert(config::kMaxRefreshDays == threats::kMaxDays,
              "the refresh keeps the day counts the filter route accepts");

using Clock = std::chrono::steady_clock;

// How one run ended.
struct Outcome {
  enum class Kind { kSucceeded, kFailed, kStopped };
  Kind kind = Kind::kSucceeded;
  const char* step = "";  // the step that failed or was not started
  std::string reason;     // the failure's text
};

// The schedule's state, shared by its thread and the runs on the slow pool.
struct Schedule {
  std::mutex mutex;
  std::condition_variable wake;
  bool stopping = false;
  bool running = false;
  bool skipLogged = false;   // the skip of the due run was logged
  Clock::time_point anchor;  // start of the last run, or the server's start
  std::string problem;       // the keys' problem last logged
  bool enabled = false;      // the keys switched the refresh on at the last check
};

Schedule& schedule() {
  static Schedule* instance = new Schedule();  // lives as long as the process
  return *instance;
}

bool stopping() {
  Schedule& s = schedule();
  const std::lock_guard<std::mutex> lock(s.mutex);
  return s.stopping;
}

// Time between two looks at the configuration: a minute, or a sixtieth of
// the test build's short hour (at least a tenth of a second).
Clock::duration checkPeriod() {
  const auto sixtieth = std::chrono::milliseconds(build_settings::kRefreshHourSeconds * 1000 / 60);
  return std::max<Clock::duration>(sixtieth, std::chrono::milliseconds(100));
}

Clock::duration interval(int hours) {
  return std::chrono::seconds(static_cast<int64_t>(hours) * build_settings::kRefreshHourSeconds);
}

// Runs `step`; a failure becomes the outcome, naming `name`.
template <typename Step>
bool attempt(const char* name, Outcome& outcome, Step step) {
  if (stopping()) {
    outcome = {Outcome::Kind::kStopped, name, "the server is stopping"};
    return false;
  }
  try {
    step();
    return true;
  } catch (const std::exception& e) {
    outcome = {Outcome::Kind::kFailed, name, e.what()};
    return false;
  }
}

// The three steps, as the three manual routes run them. The caller holds
// the feed work's guard.
Outcome runSteps(int days) {
  Outcome outcome;
  attempt("download", outcome, [] { threats::downloadAndUnzipAsync(); }) &&
      attempt("store rebuild", outcome,
              [days] {
                // The route's own text for this failure; the cause is logged.
                if (!threats::processThreats(days, threats::Switches::kKeep)) {
                  throw std::runtime_error("Error processing data");
                }
              }) &&
      attempt("rule generation", outcome, [] { threats::fetch_iocs(); });
  return outcome;
}

// The run's log line, audit line and metrics.
void report(const Outcome& outcome, int days, double seconds) {
  http::audit::Entry entry{"scheduler", "RUN", "feed-refresh", "days=" + std::to_string(days)};
  int status = 200;
  switch (outcome.kind) {
    case Outcome::Kind::kSucceeded:
      logging::info(
          "Feed refresh done in %.1f s: feed downloaded, store rebuilt from the last %d days "
          "with the switches kept, rule files written (Suricata not reloaded)",
          seconds, days);
      feed_freshness::runEnded(true, seconds);
      break;
    case Outcome::Kind::kFailed:
      logging::alert(
          "Feed refresh failed at the %s after %.1f s: %s; the files of that step and the "
          "later ones stay as they were",
          outcome.step, seconds, outcome.reason.c_str());
      feed_freshness::runEnded(false, seconds);
      status = 500;
      break;
    case Outcome::Kind::kStopped:
      logging::info("Feed refresh stopped before the %s: the server is stopping", outcome.step);
      status = 503;
      break;
  }
  if (outcome.kind != Outcome::Kind::kSucceeded) {
    entry.subject += std::string(" step=") + http::audit::quoted(outcome.step, 40) +
                     " reason=" + http::audit::quoted(outcome.reason, 200);
  }
  http::audit::record(entry, status);
}

// One due run, on a thread of the slow pool. Skips when other feed work
// holds the guard: the anchor goes back, so the next check tries again.
void runDue(int days, Clock::time_point previousAnchor) {
  Schedule& s = schedule();
  {
    const auto work = threats::tryFeedWork();
    if (!work.owns_lock()) {
      const std::lock_guard<std::mutex> lock(s.mutex);
      s.anchor = previousAnchor;
      if (!s.skipLogged) {
        logging::info(
            "Feed refresh skipped: a manual download, store rebuild or rule generation is "
            "running; it is tried again at the next check");
        s.skipLogged = true;
      }
    } else {
      {
        const std::lock_guard<std::mutex> lock(s.mutex);
        s.skipLogged = false;
      }
      try {
        const Clock::time_point start = Clock::now();
        const Outcome outcome = runSteps(days);
        report(outcome, days, std::chrono::duration<double>(Clock::now() - start).count());
      } catch (const std::exception& e) {  // the log or the audit failed: not the run's fault
        logging::alert("Feed refresh could not be reported: %s", e.what());
      }
    }
  }
  const std::lock_guard<std::mutex> lock(s.mutex);
  s.running = false;
  metrics::feedRefreshRunning(false);
}

// The keys now; a configuration that cannot be read is a problem like a bad key.
config::RefreshSettings readSettings() {
  try {
    libconfig::Config cfg;
    config::load(cfg);
    return config::refreshSettings(cfg);
  } catch (const libconfig::ParseException& e) {
    config::RefreshSettings settings;
    settings.problemKey = config::path();
    settings.problem = "line " + std::to_string(e.getLine()) + ": " + e.getError();
    return settings;
  } catch (const std::exception& e) {
    config::RefreshSettings settings;
    settings.problemKey = config::path();
    settings.problem = std::string("cannot be read: ") + e.what();
    return settings;
  }
}

// One look at the schedule, under the schedule's lock: hands the run to the
// slow pool when one is due.
void check(Schedule& s, const config::RefreshSettings& settings) {
  if (!settings.problem.empty()) {
    const std::string problem = settings.problemKey + ": " + settings.problem;
    if (problem != s.problem) logging::alert("Feed refresh not scheduled: %s", problem.c_str());
    s.problem = problem;
    return;
  }
  s.problem.clear();
  if (!settings.enabled) {
    if (s.enabled) {
      logging::info("Feed refresh switched off");
      feed_freshness::scheduleOff();
    }
    s.enabled = false;
    return;
  }
  if (!s.enabled) {
    logging::info("Feed refresh every %d hour%s, keeping %d days", settings.hours,
                  settings.hours == 1 ? "" : "s", settings.days);
  }
  s.enabled = true;
  const Clock::time_point now = Clock::now();
  if (s.running || now < s.anchor + interval(settings.hours)) return;
  const Clock::time_point previousAnchor = s.anchor;
  s.anchor = now;
  s.running = true;
  metrics::feedRefreshRunning(true);
  const int days = settings.days;
  if (!http::runOnSlowPool([days, previousAnchor] { runDue(days, previousAnchor); })) {
    s.running = false;
    metrics::feedRefreshRunning(false);
    s.anchor = previousAnchor;
    if (!s.skipLogged) {
      logging::info(
          "Feed refresh skipped: the slow-work pool is full; tried again at the next check");
      s.skipLogged = true;
    }
  }
}

void watch() {
  Schedule& s = schedule();
  std::unique_lock<std::mutex> lock(s.mutex);
  for (;;) {
    s.wake.wait_for(lock, checkPeriod(), [&s] { return s.stopping; });
    if (s.stopping) return;
    lock.unlock();
    const config::RefreshSettings settings = readSettings();
    lock.lock();
    if (s.stopping) return;
    check(s, settings);
  }
}

}  // namespace

void start() {
  Schedule& s = schedule();
  {
    const std::lock_guard<std::mutex> lock(s.mutex);
    s.anchor = Clock::now();
  }
  std::thread(watch).detach();
}

void stop() {
  Schedule& s = schedule();
  const std::lock_guard<std::mutex> lock(s.mutex);
  s.stopping = true;
  s.wake.notify_all();
}

bool running() {
  Schedule& s = schedule();
  const std::lock_guard<std::mutex> lock(s.mutex);
  return s.running;
}

}  // namespace feed_refresh
