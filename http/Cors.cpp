// Cross-origin header sets.
#include "http/Cors.h"

#include <iterator>
#include <utility>

namespace http {

void addCorsHeaders(Cors set, const std::string& origin, Reply& reply) {
  std::vector<std::pair<std::string, std::string>> headers;
  headers.reserve(4 + reply.headers.size());
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
  // The set goes first, then what the reply holds: built in one vector that
  // then takes the reply's place, every string moved rather than copied.
  headers.insert(headers.end(), std::make_move_iterator(reply.headers.begin()),
                 std::make_move_iterator(reply.headers.end()));
  reply.headers = std::move(headers);
}

}  // namespace http
