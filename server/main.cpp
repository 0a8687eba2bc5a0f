// Process entry: carries out a command-line option, or opens the system log
// and serves the HTTP API until told to stop by SIGTERM or SIGINT.
#include <curl/curl.h>
#include <unistd.h>

#include <optional>

#include "common/BuildSettings.h"
#include "common/Log.h"
#include "common/TlsCredentials.h"
#include "http/Access.h"
#include "ops/RedisWatch.h"
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
  leftovers::removeAtStart();

  curl_global_init(CURL_GLOBAL_ALL);
  Server server(static_cast<uint16_t>(build_settings::kHttpPort),
                tlsCredentials ? tlsCredentials->certificatePem : "",
                tlsCredentials ? tlsCredentials->keyPem : "");
  server_stop::watchForStop();
  feed_refresh::start();
  ops::redis_watch::start();
  server.run();
  logging::close();
  return 0;
}
