// One request as the route bodies see it: a value the server owns, filled by
// the endpoint's adapter (http/Endpoint.h) from whatever the HTTP library
// parsed, and the readers of its segments, query keys and headers.
#ifndef HTTP_REQUEST_H_
#define HTTP_REQUEST_H_

#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace http {

// A name and its value, as the request spelled them.
using Pair = std::pair<std::string, std::string>;

struct Request {
  std::string method;  // "GET", "POST", "OPTIONS" ...
  std::string path;    // the target's path, without the query, as sent
  // The route table's pattern that matched ("/events/:event_type"), or
  // "unmatched"; a literal of the table that lives as long as the process.
  const char* pattern = "unmatched";
  // The named segments of `pattern`, names with their colon (":sid"), values
  // as raw text of the path (no escape decoded).
  std::vector<Pair> segments;
  // The query's keys and values as sent (escapes not decoded), in order.
  std::vector<Pair> query;
  // Every header, in order, duplicates kept; names as sent.
  std::vector<Pair> headers;
  std::string body;
  std::string peer;  // the client's address ("127.0.0.1")
};

// Text of the named path segment, `name` with its colon (":event_type").
// Throws std::runtime_error "Unknown parameter" when the pattern has no such segment.
const std::string& pathParam(const Request& request, const char* name);

// The named path segment read as a `T` the way a stream reads it: leading
// blanks skipped, then as many characters as make a `T` ("12abc" reads 12,
// "0x7" reads 0, "-1" as uint32_t reads 4294967295). Throws
// std::runtime_error "Bad lexical cast" when no `T` can be read from its start
// or the number does not fit ("4294967296" as uint32_t, "%31").
template <typename T>
T segmentAs(const Request& request, const char* name);

// Text of the query key `key` with its "%XY" escapes decoded (a "%" without
// two hex digits and "+" kept as sent), or nothing when it is absent. The
// first of repeated keys counts.
std::optional<std::string> query(const Request& request, const char* key);

// Text of the query key `key`, or `fallback` when it is absent.
std::string queryOr(const Request& request, const char* key, const std::string& fallback);

// The value of the first header named `name` (in any case), or nothing.
std::optional<std::string> header(const Request& request, std::string_view name);

// ---- Implementation of the template ------------------------------------------

template <typename T>
T segmentAs(const Request& request, const char* name) {
  std::istringstream stream(pathParam(request, name));
  T value;
  if (!(stream >> value)) throw std::runtime_error("Bad lexical cast");
  return value;
}

}  // namespace http

#endif  // HTTP_REQUEST_H_
