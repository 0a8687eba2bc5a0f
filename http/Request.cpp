// Reading path segments and query keys.
#include "http/Request.h"

namespace http {

std::string pathParam(const Pistache::Rest::Request& request, const char* name) {
  return request.param(name).as<std::string>();
}

std::optional<std::string> query(const Pistache::Rest::Request& request, const char* key) {
  return request.query().get(key);
}

std::string queryOr(const Pistache::Rest::Request& request, const char* key,
                    const std::string& fallback) {
  return query(request, key).value_or(fallback);
}

}  // namespace http
