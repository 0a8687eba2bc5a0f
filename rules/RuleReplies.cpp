// Error replies shared by the rule handlers.
#include "rules/RuleReplies.h"

#include <json/value.h>

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

http::Reply outcome(http::Status code, bool success, const std::string& error) {
  Json::Value object(Json::objectValue);
  object["success"] = success;
  object["error"] = error;
  return http::text(object.toStyledString(), code);
}

http::Reply outcomeError(const std::exception& error) {
  return outcome(http::Status::kInternalServerError, false, error.what());
}

}  // namespace rule_replies
