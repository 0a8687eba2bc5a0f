// The HTTP endpoint of the process.
#include "server/Server.h"

#include <unistd.h>

#include <memory>
#include <utility>

#include "common/FileCache.h"
#include "common/Metrics.h"
#include "http/Endpoint.h"
#include "rules/RulesFile.h"
#include "server/Routes.h"
#include "server/Systemd.h"
#include "server/TargetGuard.h"
#include "threats/StoreSnapshot.h"

Server::Server(Pistache::Address address) : endpoint_(address) {}

void Server::run() {
  setupRoutes();
  endpoint_.serveThreaded();
  systemd::notifyReady();
  systemd::startWatchdog(static_cast<uint16_t>(endpoint_.getPort()));
  for (;;) pause();  // the stop watcher ends the process
}

namespace {

// The caches of the rules file and of the indicator store report their
// hits and rebuilds at every scrape of /metrics.
void registerCaches() {
  const auto reader = [](const file_cache::CacheStatistics& statistics) {
    return [&statistics](uint64_t& hits, uint64_t& rebuilds) {
      hits = statistics.hits + statistics.contentChecks;
      rebuilds = statistics.rebuilds;
    };
  };
  metrics::registerCache("rules", reader(rules::rulesCacheStatistics()));
  metrics::registerCache("indicators", reader(threats::storeCacheStatistics()));
}

}  // namespace

void Server::setupRoutes() {
  registerCaches();
  for (const RouteEntry& route : routeTable()) {
    // The pattern travels with the request, for the segments and the
    // metrics' route label. The table lives as long as the process.
    router_.addRoute(
        route.method, route.path,
        [&route](const Pistache::Rest::Request request, Pistache::Http::ResponseWriter response) {
          http::serve(route.kind, route.handler, http::requestOf(request, route.path), response);
          return Pistache::Rest::Route::Result::Ok;
        });
  }
  // ReuseAddr lets a restarted service bind again at once instead of failing
  // while the previous process's connections linger in TIME_WAIT. The
  // library's 4 KiB request limit (headers included) would refuse a browser's
  // update of a long rule, so requests may carry up to kMaxRequestBytes.
  auto options = Pistache::Http::Endpoint::options()
                     .threads(2)
                     .flags(Pistache::Tcp::Options::ReuseAddr)
                     .maxRequestSize(kMaxRequestBytes);
  endpoint_.init(options);
  endpoint_.setHandler(std::make_shared<TargetGuard>(router_.handler()));
}
