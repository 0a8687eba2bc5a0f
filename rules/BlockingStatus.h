// State of one counted line of the additional rules file.
#ifndef RULES_BLOCKINGSTATUS_H_
#define RULES_BLOCKINGSTATUS_H_

#include <string>

struct BlockingStatus {
  std::string title;    // category title ("social", "porno"...), empty for none
  bool status = false;  // true when the line does not begin with "#"
};

#endif  // RULES_BLOCKINGSTATUS_H_
