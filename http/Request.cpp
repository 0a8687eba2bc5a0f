// Reading path segments and query keys.
#include "http/Request.h"

#include "common/Url.h"

namespace http {

std::string pathParam(const Pistache::Rest::Request& request, const char* name) {
  return request.param(name).as<std::string>();
}

std::optional<std::string> query(const Pistache::Rest::Request& request, const char* key) {
  std::optional<std::string> text = request.query().get(key);
  if (text) *text = percentDecoded(*text);
  return text;
}

std::string queryOr(const Pistache::Rest::Request& request, const char* key,
                    const std::string& fallback) {
  return query(request, key).value_or(fallback);
}

}  // namespace http
