// The HTTP endpoint of the process.
#include "server/Server.h"

#include <memory>

#include "server/Routes.h"
#include "server/TargetGuard.h"

Server::Server(Pistache::Address address) : endpoint_(address) {}

void Server::run() {
  setupRoutes();
  endpoint_.serve();
}

void Server::setupRoutes() {
  for (const RouteEntry& route : routeTable()) {
    router_.addRoute(route.method, route.path, Pistache::Rest::Routes::bind(route.handler));
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
