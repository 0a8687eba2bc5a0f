// Cross-origin header sets.
#include "server/Cors.h"

namespace cors {

namespace {

void addSet(Pistache::Http::ResponseWriter& response, const char* methods, const char* headers) {
  auto& collection = response.headers();
  collection.add<Pistache::Http::Header::AccessControlAllowOrigin>("*");
  collection.add<Pistache::Http::Header::AccessControlAllowMethods>(methods);
  collection.add<Pistache::Http::Header::AccessControlAllowHeaders>(headers);
}

}  // namespace

void addOriginOnly(Pistache::Http::ResponseWriter& response) {
  response.headers().add<Pistache::Http::Header::AccessControlAllowOrigin>("*");
}

void addRulesSet(Pistache::Http::ResponseWriter& response) {
  addSet(response, "GET, POST, PUT, DELETE, OPTIONS",
         "Origin, X-Requested-With, Content-Type, Accept, Authorization");
}

void addStatsSet(Pistache::Http::ResponseWriter& response) {
  addSet(response, "GET, POST, OPTIONS",
         "X-Requested-With, Content-Type, Accept, Origin, Authorization");
}

}  // namespace cors
