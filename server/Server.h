// The HTTP endpoint and its router: the one server object of the process.
#ifndef SERVER_SERVER_H_
#define SERVER_SERVER_H_

#include <pistache/endpoint.h>
#include <pistache/net.h>
#include <pistache/router.h>

class Server {
 public:
  // Largest request accepted, headers and body together.
  static constexpr size_t kMaxRequestBytes = 256 * 1024;

  // Builds the endpoint on `address` and an empty router; nothing listens yet.
  explicit Server(Pistache::Address address);

  // Registers the routes, binds the port, tells systemd the server is ready
  // (and starts its watchdog's keep-alives when asked for), and serves until
  // the process is stopped; never returns. Start-up errors, such as the port
  // being in use, are thrown.
  void run();

 private:
  // Registers the route table in order, then initialises the endpoint with two
  // worker threads and installs the router, behind the target checks of
  // TargetGuard, as its handler.
  void setupRoutes();

  Pistache::Http::Endpoint endpoint_;
  Pistache::Rest::Router router_;
};

#endif  // SERVER_SERVER_H_
