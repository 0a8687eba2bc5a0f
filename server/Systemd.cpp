// Readiness and watchdog notifications.
#include "server/Systemd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "common/Log.h"

namespace systemd {

namespace {

using Clock = std::chrono::steady_clock;

// The request the watchdog sends: a preflight, which every configuration
// answers without a token and without touching a file or Redis.
constexpr char kProbe[] =
    "OPTIONS /rules/add/ HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";

// Whether an HTTP reply to kProbe arrives from 127.0.0.1 `port` by `deadline`.
bool endpointAnswers(uint16_t port, Clock::time_point deadline) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool answered = false;
  const auto wait = [&](short events) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd ready{fd, events, 0};
    return poll(&ready, 1, static_cast<int>(left.count())) > 0;
  };
  if ((connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ||
       (errno == EINPROGRESS && wait(POLLOUT))) &&
      send(fd, kProbe, sizeof kProbe - 1, MSG_NOSIGNAL) ==
          static_cast<ssize_t>(sizeof kProbe - 1)) {
    std::string reply;
    char buffer[256];
    while (reply.size() < 9 && wait(POLLIN)) {
      const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      reply.append(buffer, static_cast<size_t>(got));
    }
    answered = reply.rfind("HTTP/1.1 ", 0) == 0;
  }
  close(fd);
  return answered;
}

}  // namespace

void notifyReady() { sd_notify(0, "READY=1"); }

void startWatchdog(uint16_t port) {
  uint64_t usec = 0;
  if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) return;
  const auto half = std::chrono::microseconds(usec / 2);
  std::thread([port, half] {
    for (;;) {
      const Clock::time_point started = Clock::now();
      if (endpointAnswers(port, started + half)) {
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
