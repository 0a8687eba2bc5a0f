// The HTTP endpoint of the process.
#include "server/Server.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <optional>
#include <utility>

#include "common/FileCache.h"
#include "common/Metrics.h"
#include "http/Access.h"
#include "http/Frame.h"
#include "http/Preflight.h"
#include "rules/RulesFile.h"
#include "server/Routes.h"
#include "server/Systemd.h"
#include "server/TargetGuard.h"
#include "threats/StoreSnapshot.h"

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

http::Router routerOfTable() {
  http::Router router;
  const std::vector<RouteEntry>& table = routeTable();
  for (size_t i = 0; i < table.size(); ++i) router.add(table[i].method, table[i].path, i);
  return router;
}

// The methods of HTTP/1.1, as spelled on the wire: any other is refused
// before the router, which would otherwise answer 405 on a routed path.
bool knownMethod(const std::string& method) {
  static const char* const kMethods[] = {"GET",  "POST",  "PUT",   "DELETE", "OPTIONS",
                                         "HEAD", "PATCH", "TRACE", "CONNECT"};
  for (const char* known : kMethods) {
    if (method == known) return true;
  }
  return false;
}

}  // namespace

unsigned Server::connectionLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 4096;
  const rlim_t usable = limit.rlim_cur > kReservedDescriptors * 2
                            ? limit.rlim_cur - kReservedDescriptors
                            : limit.rlim_cur / 2;
  return static_cast<unsigned>(std::clamp<rlim_t>(usable, 16, 60000));
}

Server::Server(uint16_t port, std::string tlsCertificate, std::string tlsKey)
    : port_(port),
      tls_(!tlsCertificate.empty()),
      router_(routerOfTable()),
      endpoint_(
          [&] {
            http::EndpointOptions options;
            options.port = port;
            options.threads = 2;
            options.connectionLimit = connectionLimit();
            options.maxRequestBytes = kMaxRequestBytes;
            options.tlsCertificate = std::move(tlsCertificate);
            options.tlsKey = std::move(tlsKey);
            return options;
          }(),
          [this](http::Request& request, http::Exchange& exchange) {
            dispatch(request, exchange);
          }) {}

void Server::run() {
  registerCaches();
  endpoint_.start();
  systemd::notifyReady();
  systemd::startWatchdog(port_, tls_);
  for (;;) pause();  // the stop watcher ends the process
}

void Server::dispatch(http::Request& request, http::Exchange& exchange) const {
  if (!knownMethod(request.method)) {
    return exchange.reply(http::text("Unknown HTTP request method", http::Status::kBadRequest));
  }
  if (request.path.empty()) {
    return exchange.reply(
        http::text("Invalid zero-length URL.", http::Status::kInternalServerError));
  }
  if (std::optional<http::Reply> refusal = TargetGuard::refusal(request)) {
    return exchange.reply(std::move(*refusal));
  }
  // While a token is required, a browser preflights every request, reads
  // included; the router would answer 405 on a read's path.
  // The configuration is read once per request; its access settings judge
  // the request wherever it goes.
  const http::access::Settings access = http::access::readSettings();
  if (request.method == "OPTIONS" && http::access::tokenRequired(access)) {
    return exchange.reply(http::answerPreflight(request, access));
  }
  http::Router::Match match = router_.match(request.method, request.path);
  switch (match.outcome) {
    case http::Router::Outcome::kNotFound:
      return exchange.reply(http::text("Could not find a matching route", http::Status::kNotFound));
    case http::Router::Outcome::kNotAllowed: {
      http::Reply reply = http::text("Method Not Allowed", http::Status::kMethodNotAllowed);
      reply.headers.emplace_back("Allow", std::move(match.allow));
      return exchange.reply(std::move(reply));
    }
    case http::Router::Outcome::kFound: break;
  }
  const RouteEntry& route = routeTable()[match.route];
  // The pattern travels with the request, for the segments and the metrics'
  // route label. The table lives as long as the process.
  request.pattern = route.path;
  request.segments = std::move(match.segments);
  http::serve(route.kind, route.handler, access, request, exchange);
}
