// The HTTP endpoint: the one place where the HTTP library meets the server.
// It accepts connections, parses each request into an http::Request, hands
// it to the server's dispatch with an Exchange, and sends the reply it gets,
// now or later. It holds to its limits whatever its clients do: a cap on
// connections, an idle timeout, a bound on a request's size, a deadline for
// a reply its client does not read, and a bound on the reply bytes that wait
// for their clients. Only server/ includes this file.
#ifndef HTTP_ENDPOINT_H_
#define HTTP_ENDPOINT_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "http/Exchange.h"
#include "http/Request.h"

namespace http {

struct EndpointOptions {
  uint16_t port = 8080;  // on every IPv4 address
  unsigned threads = 2;  // HTTP threads
  // Connections served at once; one more is closed as soon as it is accepted.
  unsigned connectionLimit = 1000;
  // A connection with no request under way is closed after this long.
  unsigned idleSeconds = 10;
  // A reply whose client takes none of it for this long is dropped.
  unsigned unreadReplySeconds = 30;
  // Largest request accepted, target, headers and body together.
  size_t maxRequestBytes = 256 * 1024;
  // Unsent reply bytes of all connections together, past which a new
  // request is answered 503 at once.
  size_t maxHeldReplyBytes = 512u * 1024 * 1024;
  // PEM texts of the certificate and its key: both set, the port speaks
  // HTTPS only (TLS 1.2 and 1.3); both empty, plain HTTP.
  std::string tlsCertificate;
  std::string tlsKey;
};

// What the endpoint calls for every request: on an HTTP thread, with the
// request (the callee may move from it) and the exchange to answer on.
using Dispatch = std::function<void(Request& request, Exchange& exchange)>;

class Endpoint {
 public:
  Endpoint(EndpointOptions options, Dispatch dispatch);
  ~Endpoint();
  Endpoint(const Endpoint&) = delete;
  Endpoint& operator=(const Endpoint&) = delete;

  // Binds the port and starts the HTTP threads. Throws std::runtime_error
  // when it cannot (the port is in use, the certificate does not load).
  void start();

  struct Impl;  // what the library's callbacks reach

 private:
  std::unique_ptr<Impl> impl_;
};

// Requests between their first line's arrival and their reply having been
// sent whole (or their client having gone); live event streams do not count.
size_t requestsInFlight();

// Reply bytes now waiting to be sent, all connections together.
size_t heldReplyBytes();

}  // namespace http

#endif  // HTTP_ENDPOINT_H_
