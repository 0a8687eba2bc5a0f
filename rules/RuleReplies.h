// Error replies shared by the rule handlers.
#ifndef RULES_RULEREPLIES_H_
#define RULES_RULEREPLIES_H_

#include <exception>

#include "http/Reply.h"

namespace rule_replies {

// The error mapping of the rule queries and the toggle: 500 "File I/O error"
// when the configuration file cannot be read, "Config parse error" when it
// is not valid, otherwise the error's own text.
http::Reply queryError(const std::exception& error);

}  // namespace rule_replies

#endif  // RULES_RULEREPLIES_H_
