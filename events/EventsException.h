// Error of the events subsystem; its message is the reply body.
#ifndef EVENTS_EVENTSEXCEPTION_H_
#define EVENTS_EVENTSEXCEPTION_H_

#include <stdexcept>

class EventsException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

#endif  // EVENTS_EVENTSEXCEPTION_H_
