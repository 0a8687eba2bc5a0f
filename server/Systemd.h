// The server under systemd: readiness once the port is bound, and watchdog
// keep-alives sent only while the HTTP threads answer. Started otherwise
// (no NOTIFY_SOCKET), nothing happens.
#ifndef SERVER_SYSTEMD_H_
#define SERVER_SYSTEMD_H_

#include <cstdint>

namespace systemd {

// Sends READY=1 to the service manager.
void notifyReady();

// When the service manager asks for keep-alives (WATCHDOG_USEC, with
// WATCHDOG_PID naming this process if set), starts a thread that every half
// interval sends one preflight request through the endpoint on 127.0.0.1
// `port` (over TLS when `tls`) and sends WATCHDOG=1 only when its reply came back within that half
// interval. A server whose HTTP threads are wedged stops the keep-alives, and
// systemd restarts it.
void startWatchdog(uint16_t port, bool tls);

}  // namespace systemd

#endif  // SERVER_SYSTEMD_H_
