// Cross-origin header sets.
#include "http/Cors.h"

#include "http/Endpoint.h"

namespace http {

namespace {

void addOrigin(const std::string& origin, Pistache::Http::ResponseWriter& response) {
  response.headers().add<Pistache::Http::Header::AccessControlAllowOrigin>(origin);
  if (origin != "*") addHeader(response, "Vary", "Origin");
}

void addMethodsAndHeaders(Pistache::Http::ResponseWriter& response, const char* methods,
                          const char* headers) {
  auto& collection = response.headers();
  collection.add<Pistache::Http::Header::AccessControlAllowMethods>(methods);
  collection.add<Pistache::Http::Header::AccessControlAllowHeaders>(headers);
}

}  // namespace

void addCorsHeaders(Cors set, Pistache::Http::ResponseWriter& response) {
  addCorsHeaders(set, "*", response);
}

void addCorsHeaders(Cors set, const std::string& origin, Pistache::Http::ResponseWriter& response) {
  addOrigin(origin, response);
  switch (set) {
    case Cors::kOriginOnly: return;
    case Cors::kRules:
      return addMethodsAndHeaders(response, "GET, POST, PUT, DELETE, OPTIONS",
                                  "Origin, X-Requested-With, Content-Type, Accept, Authorization");
    case Cors::kStats:
      return addMethodsAndHeaders(response, "GET, POST, OPTIONS",
                                  "X-Requested-With, Content-Type, Accept, Origin, Authorization");
  }
}

}  // namespace http
