// Error of the threat-intelligence subsystem; its message is the reply body.
#ifndef THREATS_THREATSEXCEPTION_H_
#define THREATS_THREATSEXCEPTION_H_

#include <stdexcept>

class ThreatsException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

#endif  // THREATS_THREATSEXCEPTION_H_
