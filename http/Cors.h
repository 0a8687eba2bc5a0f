// The cross-origin header sets that every reply carries: the front end is
// served from another origin. Each handler class has one set; the frame
// (http/Frame.h) adds them.
#ifndef HTTP_CORS_H_
#define HTTP_CORS_H_

#include <string>

#include "http/Reply.h"

namespace http {

enum class Cors {
  // "Access-Control-Allow-Origin: *" alone: the Events and Net classes.
  kOriginOnly,
  // Origin "*", methods "GET, POST, PUT, DELETE, OPTIONS" and headers
  // "Origin, X-Requested-With, Content-Type, Accept, Authorization": the
  // Rules and Threats classes, and every preflight reply.
  kRules,
  // Origin "*", methods "GET, POST, OPTIONS" and headers
  // "X-Requested-With, Content-Type, Accept, Origin, Authorization": the Stats class.
  kStats,
};

// Adds the headers of `set` to `reply` before its own, allowing `origin`:
// "*", or the one origin of the front end, which also sends "Vary: Origin"
// so that caches keep replies apart by origin.
void addCorsHeaders(Cors set, const std::string& origin, Reply& reply);

}  // namespace http

#endif  // HTTP_CORS_H_
