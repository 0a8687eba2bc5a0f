// Readiness and watchdog notifications.
#include "server/Systemd.h"

#include <curl/curl.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "common/Log.h"

namespace systemd {

namespace {

using Clock = std::chrono::steady_clock;

// Discards the reply's body: only its arrival counts.
size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

// Whether the endpoint on 127.0.0.1 `port` answers a preflight (which every
// configuration answers without a token and without touching a file or
// Redis) by `deadline`. Under TLS the request goes over TLS: the endpoint
// is this very process, so its certificate is not checked.
bool endpointAnswers(uint16_t port, bool tls, Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return false;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return false;
  const std::string url =
      std::string(tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port) + "/rules/add/";
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "OPTIONS");
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &discard);
  long status = 0;
  const bool answered = curl_easy_perform(curl) == CURLE_OK &&
                        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
                        status > 0;
  curl_easy_cleanup(curl);
  return answered;
}

}  // namespace

void notifyReady() { sd_notify(0, "READY=1"); }

void startWatchdog(uint16_t port, bool tls) {
  uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) return;
  const auto half = std::chrono::microseconds(usec / 2);
  std::thread([port, tls, half] {
    for (;;) {
      const Clock::time_point started = Clock::now();
      if (endpointAnswers(port, tls, started + half)) {
        sd_notify(0, "WATCHDOG=1");
      } else {
        logging::alert("Watchdog: the HTTP endpoint did not answer within %lld ms",
                       static_cast<long long>(half.count() / 1000));
      }
      std::this_thread::sleep_until(started + half);
    }
  }).detach();
}

}  // namespace systemd
