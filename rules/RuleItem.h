// One line of the rules file as a record, and its JSON form (the rule object
// of every rule query).
#ifndef RULES_RULEITEM_H_
#define RULES_RULEITEM_H_

#include <cstdint>
#include <string>

#include <json/value.h>

struct RuleItem {
  std::string content;   // the line without one leading "#"; nothing else trimmed
  std::string action;    // first general token
  std::string protocol;  // second general token, or "unknown"
  std::string classtype;  // token after "classtype", or "unlnown"
  uint32_t sid = 0;
  uint32_t rev = 0;
  std::string msg;       // token after "msg", quotes kept, or "undefined"
  bool enabled = false;  // false exactly when the line's first character is "#"

  // Parses one line (without its newline). Throws std::invalid_argument
  // ("stoi") when the line has no numeric sid or rev (so also for an empty
  // line) and std::out_of_range ("stoi") when either exceeds 2147483647.
  static RuleItem parse(const std::string& line);
  // True when parse() accepts `line`: it has a numeric sid and rev, each at
  // most 2147483647. Lines the edits write must pass, or every listing fails.
  static bool readable(const std::string& line);

  // The rule object: "action", "classtype", "content", "enabled", "msg",
  // "protocol", "rev", "sid".
  Json::Value toJson() const;
};

#endif  // RULES_RULEITEM_H_
