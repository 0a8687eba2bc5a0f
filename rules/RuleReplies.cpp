// Error replies shared by the rule handlers.
#include "rules/RuleReplies.h"

#include <libconfig.h++>

namespace rule_replies {

http::Reply queryError(const std::exception& error) {
  if (dynamic_cast<const libconfig::FileIOException*>(&error) != nullptr) {
    return http::error("File I/O error");
  }
  if (dynamic_cast<const libconfig::ParseException*>(&error) != nullptr) {
    return http::error("Config parse error");
  }
  return http::error(error.what());
}

}  // namespace rule_replies
