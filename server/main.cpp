// Process entry: carries out a command-line option, or opens the system log
// and serves the HTTP API until told to stop by SIGTERM or SIGINT.
#include <unistd.h>

#include <optional>

#include "common/BuildSettings.h"
#include "common/Log.h"
#include "common/TlsCredentials.h"
#include "http/Access.h"
#include "server/Allocator.h"
#include "server/CommandLine.h"
#include "server/Leftovers.h"
#include "server/Server.h"
#include "server/Stop.h"
#include "threats/FeedRefresh.h"

int main(int argc, char** argv) {
  if (const std::optional<int> status = command_line::run(argc, argv)) return *status;
  allocator::keepReplyBuffers();
  server_stop::blockStopSignals();
  logging::open();
  logging::info("pavora_server started by system %d", static_cast<int>(getuid()));
  http::access::checkAtStart();
  std::optional<tls::Credentials> tlsCredentials;
  try {
    tlsCredentials = tls::loadAtStart();
  } catch (const tls::Error& e) {
    logging::alert("Not starting: %s", e.what());
    logging::close();
    return 1;
  }
  if (tlsCredentials) {
    // This endpoint has no TLS: never answer in clear what asks for HTTPS.
    logging::alert("Not starting: the configuration asks for HTTPS, which this endpoint lacks");
    logging::close();
    return 1;
  }
  leftovers::removeAtStart();

  Server server(static_cast<uint16_t>(build_settings::kHttpPort), "", "");
  server_stop::watchForStop();
  feed_refresh::start();
  server.run();
  logging::close();
  return 0;
}
