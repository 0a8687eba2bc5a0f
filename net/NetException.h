// Error of the network map subsystem; its message is the reply body.
#ifndef NET_NETEXCEPTION_H_
#define NET_NETEXCEPTION_H_

#include <stdexcept>

class NetException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

#endif  // NET_NETEXCEPTION_H_
