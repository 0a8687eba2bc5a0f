// The checks every request passes before the router sees it: targets too
// long or with too many slashes in a row, and requests that name their
// origin or their token twice.
#ifndef SERVER_TARGETGUARD_H_
#define SERVER_TARGETGUARD_H_

#include <cstddef>
#include <optional>
#include <string_view>

#include "http/Reply.h"
#include "http/Request.h"

class TargetGuard {
 public:
  // Longest target (path and query) passed on, in bytes.
  static constexpr size_t kMaxTargetBytes = 8 * 1024;
  // Longest run of consecutive slashes in the path passed on.
  static constexpr size_t kMaxSlashRun = 8;

  // The refusal of `request`, or nothing when it may go on to the router. A
  // longer target is answered 414 "Request target longer than 8192 bytes",
  // a path with a longer slash run 400 "Request path holds more than 8
  // slashes in a row", a request with two "Origin" or two "Authorization"
  // headers (which one would count?) 400 "Request holds more than one Origin
  // header" (or "Authorization"); all as plain text with
  // "Access-Control-Allow-Origin" ("*", or the allowed origin when one is
  // configured) so that a browser can read them.
  static std::optional<http::Reply> refusal(const http::Request& request);

  // The longest run of consecutive "/" in `path`.
  static size_t longestSlashRun(std::string_view path);
};

#endif  // SERVER_TARGETGUARD_H_
