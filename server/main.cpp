// Process entry: opens the system log and serves the HTTP API until killed.
#include <syslog.h>
#include <unistd.h>

#include <pistache/net.h>

#include "common/BuildSettings.h"
#include "server/Server.h"

int main() {
  setlogmask(LOG_UPTO(LOG_INFO));
  openlog("pavora_server", LOG_PID, LOG_USER);
  syslog(LOG_INFO, "pavora_server started by system %d", static_cast<int>(getuid()));

  Pistache::Address address(Pistache::IP::any(), Pistache::Port(build_settings::kHttpPort));
  Server server(address);
  server.run();
  closelog();
  return 0;
}
