// Refusal of request targets and headers that no route may see.
#include "server/TargetGuard.h"

#include <strings.h>

#include <string>

#include "http/Access.h"
#include "http/Cors.h"

using http::Status;

namespace {

constexpr char kTooLong[] = "Request target longer than 8192 bytes";
constexpr char kSlashRun[] = "Request path holds more than 8 slashes in a row";
constexpr char kTwoOrigins[] = "Request holds more than one Origin header";
constexpr char kTwoAuthorizations[] = "Request holds more than one Authorization header";

http::Reply refuse(Status code, const char* reason) {
  http::Reply reply{code, reason, http::ContentType::kPlain, {}};
  http::addCorsHeaders(http::Cors::kOriginOnly,
                       http::access::readSettings().allowedOrigin.value_or("*"), reply);
  return reply;
}

// The target's length as sent: the path, and "?" with the query's pairs
// joined by "&".
size_t targetBytes(const http::Request& request) {
  size_t bytes = request.path.size();
  for (const auto& [key, value] : request.query) bytes += key.size() + value.size() + 2;
  return bytes;
}

size_t headerCount(const http::Request& request, const char* name) {
  size_t count = 0;
  for (const auto& header : request.headers) {
    if (strcasecmp(header.first.c_str(), name) == 0) ++count;
  }
  return count;
}

}  // namespace

size_t TargetGuard::longestSlashRun(std::string_view path) {
  size_t longest = 0;
  size_t run = 0;
  for (const char c : path) {
    run = c == '/' ? run + 1 : 0;
    if (run > longest) longest = run;
  }
  return longest;
}

std::optional<http::Reply> TargetGuard::refusal(const http::Request& request) {
  if (targetBytes(request) > kMaxTargetBytes) return refuse(Status::kUriTooLong, kTooLong);
  if (longestSlashRun(request.path) > kMaxSlashRun) {
    return refuse(Status::kBadRequest, kSlashRun);
  }
  if (headerCount(request, "Origin") > 1) return refuse(Status::kBadRequest, kTwoOrigins);
  if (headerCount(request, "Authorization") > 1) {
    return refuse(Status::kBadRequest, kTwoAuthorizations);
  }
  return std::nullopt;
}
