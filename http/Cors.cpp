// Cross-origin header sets.
#include "http/Cors.h"

namespace http {

namespace {

void addOrigin(Pistache::Http::ResponseWriter& response) {
  response.headers().add<Pistache::Http::Header::AccessControlAllowOrigin>("*");
}

void addMethodsAndHeaders(Pistache::Http::ResponseWriter& response, const char* methods,
                          const char* headers) {
  auto& collection = response.headers();
  collection.add<Pistache::Http::Header::AccessControlAllowMethods>(methods);
  collection.add<Pistache::Http::Header::AccessControlAllowHeaders>(headers);
}

}  // namespace

void addCorsHeaders(Cors set, Pistache::Http::ResponseWriter& response) {
  addOrigin(response);
  switch (set) {
    case Cors::kOriginOnly:
      return;
    case Cors::kRules:
      return addMethodsAndHeaders(response, "GET, POST, PUT, DELETE, OPTIONS",
                                  "Origin, X-Requested-With, Content-Type, Accept, Authorization");
    case Cors::kStats:
      return addMethodsAndHeaders(response, "GET, POST, OPTIONS",
                                  "X-Requested-With, Content-Type, Accept, Origin, Authorization");
  }
}

}  // namespace http
