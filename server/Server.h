// The HTTP endpoint and its router: the one server object of the process.
#ifndef SERVER_SERVER_H_
#define SERVER_SERVER_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "http/Endpoint.h"
#include "http/Exchange.h"
#include "http/Request.h"
#include "http/Router.h"

class Server {
 public:
  // Largest request accepted, headers and body together.
  static constexpr size_t kMaxRequestBytes = 256 * 1024;
  // Descriptors kept free of connections for the files, commands and
  // Redis connections of the requests themselves.
  static constexpr unsigned kReservedDescriptors = 256;

  // The router of the route table and an endpoint on `port`, with its TLS
  // certificate and key (PEM) when both are given; nothing listens yet.
  Server(uint16_t port, std::string tlsCertificate, std::string tlsKey);

  // Binds the port, tells systemd the server is ready (and starts its
  // watchdog's keep-alives when asked for), and serves until the process is
  // stopped; never returns. Start-up errors, such as the port being in use,
  // are thrown.
  [[noreturn]] void run();

  // Connections served at once: below the process's descriptor limit by
  // kReservedDescriptors, at least 16.
  static unsigned connectionLimit();

 private:
  // Where every request goes: the target guard, the preflight of every path
  // while a token is required, then the router and the route's frame.
  void dispatch(http::Request& request, http::Exchange& exchange) const;

  uint16_t port_;
  bool tls_;
  http::Router router_;
  http::Endpoint endpoint_;
};

#endif  // SERVER_SERVER_H_
