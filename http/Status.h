// The status codes and content types this server answers with: the project's
// own names, so that no route depends on the HTTP library's types.
#ifndef HTTP_STATUS_H_
#define HTTP_STATUS_H_

#include <cstring>

namespace http {

// The statuses a reply may carry; each value is the status code on the wire.
enum class Status : int {
  kOk = 200,
  kBadRequest = 400,
  kUnauthorized = 401,
  kForbidden = 403,
  kNotFound = 404,
  kMethodNotAllowed = 405,
  kConflict = 409,
  kPayloadTooLarge = 413,
  kUriTooLong = 414,
  kInternalServerError = 500,
  kServiceUnavailable = 503,
};

// The status code of `status` (404).
constexpr int codeOf(Status status) { return static_cast<int>(status); }

// A Content-Type value as sent ("application/json", "text/plain; version=0.0.4").
// Holds a literal: the text lives as long as the process.
struct ContentType {
  const char* text;

  static const ContentType kJson;         // "application/json"
  static const ContentType kHtml;         // "text/html"
  static const ContentType kPlain;        // "text/plain"
  static const ContentType kEventStream;  // "text/event-stream"
};

inline constexpr ContentType ContentType::kJson{"application/json"};
inline constexpr ContentType ContentType::kHtml{"text/html"};
inline constexpr ContentType ContentType::kPlain{"text/plain"};
inline constexpr ContentType ContentType::kEventStream{"text/event-stream"};

inline bool operator==(ContentType a, ContentType b) { return std::strcmp(a.text, b.text) == 0; }
inline bool operator!=(ContentType a, ContentType b) { return !(a == b); }

}  // namespace http

#endif  // HTTP_STATUS_H_
