// The wanted state of the five categories of additional rules.
#ifndef RULES_RULEUPDATEDATA_H_
#define RULES_RULEUPDATEDATA_H_

// True means the category's lines must be enabled.
struct RuleUpdateData {
  bool universal = false;
  bool fakenews = false;
  bool porno = false;
  bool gambling = false;
  bool social = false;
};

#endif  // RULES_RULEUPDATEDATA_H_
