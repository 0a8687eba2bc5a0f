// Error of the rules subsystem; its message is the reply body.
#ifndef RULES_RULESEXCEPTION_H_
#define RULES_RULESEXCEPTION_H_

#include <stdexcept>

class RulesException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

#endif  // RULES_RULESEXCEPTION_H_
