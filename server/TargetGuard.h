// The endpoint's handler: refuses request targets that the router cannot
// take safely, answers every OPTIONS itself while a token is required, and
// hands every other request to the router.
#ifndef SERVER_TARGETGUARD_H_
#define SERVER_TARGETGUARD_H_

#include <pistache/http.h>

#include <cstddef>
#include <memory>
#include <string_view>

class TargetGuard : public Pistache::Http::Handler {
 public:
  HTTP_PROTOTYPE(TargetGuard)

  // Longest target (path and query) passed on, in bytes.
  static constexpr size_t kMaxTargetBytes = 8 * 1024;
  // Longest run of consecutive slashes in the path passed on. The router
  // collapses such runs with a recursive pattern, one level per character,
  // so a long run overflows the worker's stack and ends the process.
  static constexpr size_t kMaxSlashRun = 8;

  // `router` is the router's own handler; it serves every accepted request.
  explicit TargetGuard(std::shared_ptr<Pistache::Http::Handler> router);

  // A longer target is answered 414 "Request target longer than 8192 bytes",
  // a path with a longer slash run 400 "Request path holds more than 8
  // slashes in a row", a request with two "Origin" or two "Authorization"
  // headers (the library would keep the first alone) 400 "Request holds more
  // than one Origin header" (or "Authorization"); all as plain text with
  // "Access-Control-Allow-Origin" ("*", or the allowed origin when one is
  // configured) so that a browser can read them. While the configuration
  // asks for a token, an OPTIONS on any path is answered as a preflight
  // (http::answerPreflight): the router would answer 405 on a read's path.
  // Anything else goes to the router, so without a token OPTIONS on a
  // read's path keeps the router's 405.
  void onRequest(const Pistache::Http::Request& request,
                 Pistache::Http::ResponseWriter response) override;
  void onDisconnection(const std::shared_ptr<Pistache::Tcp::Peer>& peer) override;

  // The longest run of consecutive "/" in `path`.
  static size_t longestSlashRun(std::string_view path);

 private:
  std::shared_ptr<Pistache::Http::Handler> router_;  // never null; shared by the clones
};

#endif  // SERVER_TARGETGUARD_H_
