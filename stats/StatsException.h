// Error of the statistics subsystem; its message is the reply body.
#ifndef STATS_STATSEXCEPTION_H_
#define STATS_STATSEXCEPTION_H_

#include <stdexcept>

class StatsException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

#endif  // STATS_STATSEXCEPTION_H_
