// The cross-origin header sets that every reply carries: the front end is
// served from another origin. Each handler class has one set; the endpoint
// (http/Endpoint.h) adds them.
#ifndef HTTP_CORS_H_
#define HTTP_CORS_H_

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

}  // namespace http

#endif  // HTTP_CORS_H_
