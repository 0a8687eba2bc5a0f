// A request that cannot be served now but may be later: answered 503 with a
// Retry-After header and the reason as plain text, whatever the route.
#ifndef COMMON_UNAVAILABLE_H_
#define COMMON_UNAVAILABLE_H_

#include <stdexcept>
#include <string>

class Unavailable : public std::runtime_error {
 public:
  // `retryAfterSeconds` is sent as Retry-After.
  Unavailable(const std::string& reason, int retryAfterSeconds)
      : std::runtime_error(reason), retryAfterSeconds_(retryAfterSeconds) {}
  int retryAfterSeconds() const { return retryAfterSeconds_; }

 private:
  int retryAfterSeconds_;
};

#endif  // COMMON_UNAVAILABLE_H_
