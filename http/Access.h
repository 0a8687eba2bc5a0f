// Who may use the server: the optional API token and the front end's origin.
// Both come from the configuration file, read afresh at each request, so a
// change takes effect with the next one; with neither key set every request
// passes and replies allow any origin. Access fails closed: while the file
// cannot be used the last good settings stay in force.
#ifndef HTTP_ACCESS_H_
#define HTTP_ACCESS_H_

#include <optional>
#include <string>

#include "http/Reply.h"
#include "http/Request.h"

namespace http::access {

// The access settings of the configuration file.
struct Settings {
  // "application.settings.api_token_file": the file holding the one token.
  std::optional<std::string> tokenFile;
  // "application.settings.allowed_origin": the front end's origin, exactly as
  // browsers send it in "Origin" ("https://ui.example:8443").
  std::optional<std::string> allowedOrigin;
  // A key of the two present with another type than string: it fails closed.
  std::optional<std::string> unusableKey;
  // Set when the file cannot be used (config::problemOf says why) and no
  // usable content of it has been read since the process started: every
  // request but OPTIONS and /health is then refused.
  std::optional<std::string> unreadable;
};

// Reads both keys. A file that cannot be read, does not parse or holds no
// settings (an editor rewriting it in place) gives the settings of the last
// usable content read since start; before any, `unreadable`. A usable file
// without the keys turns access control off. Each change between usable and
// not (and of the reason) is logged once, as an alert when it fails.
Settings readSettings();

// What the frame does with one request.
struct Verdict {
  // Value of Access-Control-Allow-Origin: the allowed origin, or "*".
  std::string allowOrigin = "*";
  // Set when the request must not run: 403 for another origin, 401 for a
  // missing or wrong token, 503 when the token cannot be read or a key is
  // unusable, 503 "Configuration unreadable" while the settings are
  // `unreadable` (except for OPTIONS and GET /health). Refusals for origin and token are already
  // logged.
  std::optional<Reply> refusal;
};

// Judges `request` against `settings` (read once per request with
// readSettings()): first its "Origin" (a request without one is judged by
// the token alone), then its token. OPTIONS requests (preflights, which
// never carry credentials) need no token. Never throws.
Verdict judge(const Request& request, const Settings& settings);

// Whether `settings` ask requests for a token: then every path answers the
// preflight, reads included. So does a server that has not yet read a usable
// configuration: it may ask for one.
bool tokenRequired(const Settings& settings);

// The token held in the file at `path`: its content with surrounding white
// space removed. Throws std::runtime_error naming the file and the cause when
// it cannot be read, is no regular file, is longer than 4 KiB, or holds
// nothing but white space. Logs a warning, once per file, when others than
// its owner may read it.
std::string readToken(const std::string& path);

// Reads the token file at start, so that a file others can read, or one that
// cannot be read, shows in the log before the first request. Never throws.
void checkAtStart();

// The token of an "Authorization" value of the Bearer scheme (the scheme's
// name in any case, blanks, then the token), or nothing for another scheme
// or no token.
std::optional<std::string> bearerToken(const std::string& authorization);

// Whether `offered` equals `expected`, in a time that does not depend on
// where they differ (a differing length is told at once).
bool sameToken(const std::string& offered, const std::string& expected);

}  // namespace http::access

#endif  // HTTP_ACCESS_H_
