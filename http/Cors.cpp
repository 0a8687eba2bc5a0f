// Cross-origin header sets.
#include "http/Cors.h"

namespace http {

void addCorsHeaders(Cors set, const std::string& origin, Reply& reply) {
  std::vector<std::pair<std::string, std::string>> headers;
  headers.emplace_back("Access-Control-Allow-Origin", origin);
  if (origin != "*") headers.emplace_back("Vary", "Origin");
  switch (set) {
    case Cors::kOriginOnly: break;
    case Cors::kRules:
      headers.emplace_back("Access-Control-Allow-Methods", "GET, POST, PUT, DELETE, OPTIONS");
      headers.emplace_back("Access-Control-Allow-Headers",
                           "Origin, X-Requested-With, Content-Type, Accept, Authorization");
      break;
    case Cors::kStats:
      headers.emplace_back("Access-Control-Allow-Methods", "GET, POST, OPTIONS");
      headers.emplace_back("Access-Control-Allow-Headers",
                           "X-Requested-With, Content-Type, Accept, Origin, Authorization");
      break;
  }
  reply.headers.insert(reply.headers.begin(), headers.begin(), headers.end());
}

}  // namespace http
