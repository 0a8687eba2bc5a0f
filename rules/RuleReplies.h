// Reply pieces shared by the rule handlers.
#ifndef RULES_RULEREPLIES_H_
#define RULES_RULEREPLIES_H_

#include <exception>

#include <pistache/http.h>

namespace rule_replies {

// 500 for an error of a rule query or toggle: "File I/O error" when the
// configuration file cannot be read, "Config parse error" when it is not
// valid, otherwise the error's own text.
void sendError(Pistache::Http::ResponseWriter& response, const std::exception& error);

}  // namespace rule_replies

#endif  // RULES_RULEREPLIES_H_
