// Reply pieces shared by the rule handlers.
#include "rules/RuleReplies.h"

#include <libconfig.h++>

#include "http/ReplyCompat.h"

namespace rule_replies {

void sendError(Pistache::Http::ResponseWriter& response, const std::exception& error) {
  if (dynamic_cast<const libconfig::FileIOException*>(&error) != nullptr) {
    reply::sendError(response, "File I/O error");
  } else if (dynamic_cast<const libconfig::ParseException*>(&error) != nullptr) {
    reply::sendError(response, "Config parse error");
  } else {
    reply::sendError(response, error.what());
  }
}

}  // namespace rule_replies
