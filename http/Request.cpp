// Reading path segments, query keys and headers of an owned request.
#include "http/Request.h"

#include <strings.h>

#include "common/Url.h"

namespace http {

const std::string& pathParam(const Request& request, const char* name) {
  for (const Pair& segment : request.segments) {
    if (segment.first == name) return segment.second;
  }
  throw std::runtime_error("Unknown parameter");
}

std::optional<std::string> query(const Request& request, const char* key) {
  for (const Pair& pair : request.query) {
    if (pair.first == key) return percentDecoded(pair.second);
  }
  return std::nullopt;
}

std::string queryOr(const Request& request, const char* key, const std::string& fallback) {
  return query(request, key).value_or(fallback);
}

std::optional<std::string> header(const Request& request, std::string_view name) {
  for (const Pair& pair : request.headers) {
    if (pair.first.size() == name.size() &&
        ::strncasecmp(pair.first.data(), name.data(), name.size()) == 0) {
      return pair.second;
    }
  }
  return std::nullopt;
}

}  // namespace http
