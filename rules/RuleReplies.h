// Error replies shared by the rule handlers.
#ifndef RULES_RULEREPLIES_H_
#define RULES_RULEREPLIES_H_

#include <exception>
#include <string>

#include "http/Reply.h"

namespace rule_replies {

// The error mapping of the rule queries and the toggle: 500 "File I/O error"
// when the configuration file cannot be read, "Config parse error" when it
// is not valid, otherwise the error's own text.
http::Reply queryError(const std::exception& error);

// The outcome object {"error", "success"} as the library's styled text
// (ending in a line feed), with `code` and no content type: the reply of the
// validation routes, of add's refusals, and of the suppression edits.
http::Reply outcome(http::Status code, bool success, const std::string& error);

// The outcome object with 500 and the error's text: the error mapping of
// the routes that answer with it.
http::Reply outcomeError(const std::exception& error);

}  // namespace rule_replies

#endif  // RULES_RULEREPLIES_H_
