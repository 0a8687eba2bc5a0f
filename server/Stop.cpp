// Stopping the server on a signal.
#include "server/Stop.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "common/AtomicFile.h"
#include "common/BuildSettings.h"
#include "common/Log.h"
#include "common/Process.h"
#include "events/LiveEvents.h"
#include "events/StreamHub.h"
#include "http/Endpoint.h"
#include "http/Frame.h"
#include "threats/FeedRefresh.h"

namespace server_stop {

namespace {

sigset_t stopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  return signals;
}

// Waits until no request is in flight and no feed refresh runs, or the grace
// time has passed; true when they all finished.
bool drain() {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(build_settings::kStopGraceSeconds);
  while (http::requestsInFlight() > 0 || feed_refresh::running()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

[[noreturn]] void stop(int signal) {
  logging::info("pavora_server stopping on %s", strsignal(signal));
  http::refuseNewRequests();
  events::liveStreams().endAll();  // a live stream never ends by itself
  feed_refresh::stop();
  const bool finished = drain();
  if (!finished) {
    logging::alert("pavora_server: %zu requests%s still running after %d s; stopping them",
                   http::requestsInFlight(), feed_refresh::running() ? " and a feed refresh" : "",
                   build_settings::kStopGraceSeconds);
    process::killAll();
    removeUnfinishedFiles();
  }
  logging::info("pavora_server stopped on %s", strsignal(signal));
  logging::close();
  std::fflush(nullptr);
  _exit(0);
}

}  // namespace

void blockStopSignals() {
  const sigset_t signals = stopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void watchForStop() {
  std::thread([] {
    const sigset_t signals = stopSignals();
    int signal = 0;
    while (sigwait(&signals, &signal) != 0) {
    }
    stop(signal);
  }).detach();
}

}  // namespace server_stop
