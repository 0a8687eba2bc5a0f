// Refusal of request targets that the router cannot take safely, and the
// preflight of every path while a token is required.
#include "server/TargetGuard.h"

#include <string>
#include <utility>

#include "http/Access.h"
#include "http/Cors.h"
#include "http/Endpoint.h"
#include "http/Preflight.h"
#include "http/Reply.h"
#include "server/RawHeaders.h"

using http::Status;

namespace {

constexpr char kTooLong[] = "Request target longer than 8192 bytes";
constexpr char kSlashRun[] = "Request path holds more than 8 slashes in a row";
constexpr char kTwoOrigins[] = "Request holds more than one Origin header";
constexpr char kTwoAuthorizations[] = "Request holds more than one Authorization header";

void refuse(Pistache::Http::ResponseWriter& response, Status code, const char* reason) {
  http::addCorsHeaders(http::Cors::kOriginOnly,
                       http::access::readSettings().allowedOrigin.value_or("*"), response);
  http::send(response, http::Reply{code, reason, http::ContentType::kPlain, {}});
}

}  // namespace

TargetGuard::TargetGuard(std::shared_ptr<Pistache::Http::Handler> router)
    : router_(std::move(router)) {}

size_t TargetGuard::longestSlashRun(std::string_view path) {
  size_t longest = 0;
  size_t run = 0;
  for (const char c : path) {
    run = c == '/' ? run + 1 : 0;
    if (run > longest) longest = run;
  }
  return longest;
}

void TargetGuard::onRequest(const Pistache::Http::Request& request,
                            Pistache::Http::ResponseWriter response) {
  const std::string& path = request.resource();
  if (path.size() + request.query().as_str().size() > kMaxTargetBytes) {
    return refuse(response, Status::kUriTooLong, kTooLong);
  }
  if (longestSlashRun(path) > kMaxSlashRun) {
    return refuse(response, Status::kBadRequest, kSlashRun);
  }
  if (raw_headers::count(response, "Origin") > 1) {
    return refuse(response, Status::kBadRequest, kTwoOrigins);
  }
  if (raw_headers::count(response, "Authorization") > 1) {
    return refuse(response, Status::kBadRequest, kTwoAuthorizations);
  }
  if (request.method() == Pistache::Http::Method::Options && http::access::tokenRequired()) {
    return http::answerPreflight(request, std::move(response));
  }
  router_->onRequest(request, std::move(response));
}

void TargetGuard::onDisconnection(const std::shared_ptr<Pistache::Tcp::Peer>& peer) {
  router_->onDisconnection(peer);
}
